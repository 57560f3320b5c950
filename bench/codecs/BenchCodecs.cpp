// SPDX-License-Identifier: MIT
// orvane_bench_codecs PHOTO_DIR [FORMAT ...]
//
// Decodes every picture under PHOTO_DIR with every translator of the default roster that
// reads it, and encodes every decoded picture into every output format, printing the speed
// in megapixels a second and the output sizes. FORMAT (a MIME subtype such as png or jpeg,
// or a type code) keeps only those formats. Only the translation kit's public API is used,
// so any translator the roster loads is measured the same way; each runs with its current
// settings, as a conversion would. `bash scripts/photos.sh DIR` fills a PHOTO_DIR with real
// photographs.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/support/DataIO.h"
#include "platform/support/ErrorReason.h"
#include "platform/translation/BitmapStream.h"
#include "platform/translation/TranslatorRoster.h"

namespace {

struct Photo {
    std::string name;
    std::vector<uint8> bytes;
};

double Megapixels(const BBitmap& image) {
    return double(image.PixelWidth()) * double(image.PixelHeight()) / 1e6;
}

struct Tally {
    int files = 0;
    int failures = 0;
    double megapixels = 0;
    double seconds = 0;
    uint64 inputBytes = 0;
    uint64 outputBytes = 0;

    void Add(const BBitmap& image, double spent, const Photo& photo, uint64 written) {
        files++;
        megapixels += Megapixels(image);
        seconds += spent;
        inputBytes += photo.bytes.size();
        outputBytes += written;
    }

    void Fail(const std::string& key, const Photo& photo, status_t status) {
        failures++;
        std::fprintf(stderr, "%s: %s: %s\n", key.c_str(), photo.name.c_str(),
                     orv::ErrorReasonOr(status).c_str());
    }
};

// The tallies of one table, in the order their rows first appeared.
struct Table {
    std::map<std::string, Tally> tallies;
    std::vector<std::string> order;

    Tally& Row(const std::string& key) {
        if (tallies.find(key) == tallies.end()) {
            order.push_back(key);
        }
        return tallies[key];
    }
};

struct Format {
    BTranslator* translator;
    const translation_format* format;
};

double Now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void CollectPhotos(const std::string& folder, std::vector<Photo>* photos) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return;
    }
    std::vector<std::string> names;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.') {
            names.push_back(entry->d_name);
        }
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        std::string path = folder + "/" + name;
        struct stat info;
        if (stat(path.c_str(), &info) != 0) {
            continue;
        }
        if (S_ISDIR(info.st_mode)) {
            CollectPhotos(path, photos);
        } else if (S_ISREG(info.st_mode)) {
            std::ifstream in(path, std::ios::binary);
            photos->push_back({path, std::vector<uint8>(std::istreambuf_iterator<char>(in), {})});
        }
    }
}

std::string TypeText(uint32 type) {
    char text[5] = {char(type >> 24), char(type >> 16), char(type >> 8), char(type), 0};
    return text;
}

bool Wanted(const translation_format& format, const std::vector<std::string>& filters) {
    if (filters.empty()) {
        return true;
    }
    const char* slash = std::strchr(format.MIME, '/');
    std::string subtype = slash != nullptr ? slash + 1 : format.MIME;
    for (const std::string& filter : filters) {
        if (filter == subtype || filter == TypeText(format.type) ||
            (subtype.starts_with("x-") && filter == subtype.substr(2))) {
            return true;
        }
    }
    return false;
}

std::string Key(const Format& f) {
    return std::string(f.translator->TranslatorName()) + " / " + f.format->name;
}

void PrintTable(const char* title, const Table& table, bool sizes) {
    std::printf("\n%s\n", title);
    std::printf("  %-40s %6s %8s %9s", "traducteur / format", "files", "MP", "MP/s");
    if (sizes) {
        std::printf(" %12s %8s", "output MB", "out/in");
    }
    std::printf("\n");
    for (const std::string& key : table.order) {
        const Tally& t = table.tallies.at(key);
        std::printf("  %-40s %6d %8.1f %9.1f", key.c_str(), t.files, t.megapixels,
                    t.seconds > 0 ? t.megapixels / t.seconds : 0.0);
        if (sizes) {
            std::printf(" %12.2f %8.3f", double(t.outputBytes) / 1e6,
                        t.inputBytes > 0 ? double(t.outputBytes) / double(t.inputBytes) : 0.0);
        }
        if (t.failures > 0) {
            std::printf("  (%d failed)", t.failures);
        }
        std::printf("\n");
    }
}

// The translators of the roster, and the output formats the filters keep.
std::vector<Format> ListOutputs(BTranslatorRoster& roster, const std::vector<std::string>& filters,
                                std::vector<BTranslator*>* translators) {
    translator_id* ids = nullptr;
    int32 count = 0;
    roster.GetAllTranslators(&ids, &count);
    std::vector<Format> outputs;
    for (int32 i = 0; i < count; i++) {
        BTranslator* translator = roster.Translator(ids[i]);
        translators->push_back(translator);
        int32 formatCount = 0;
        const translation_format* formats = translator->OutputFormats(&formatCount);
        for (int32 k = 0; k < formatCount; k++) {
            if (formats[k].type != B_TRANSLATOR_BITMAP && Wanted(formats[k], filters)) {
                outputs.push_back({translator, &formats[k]});
            }
        }
    }
    delete[] ids;
    return outputs;
}

// Decodes the photo with every translator that reads it in a wanted format; the first
// picture decoded is kept for the encoders.
std::unique_ptr<BBitmap> DecodeWithEach(const Photo& photo,
                                        const std::vector<BTranslator*>& translators,
                                        const std::vector<std::string>& filters, Table* table) {
    std::unique_ptr<BBitmap> decoded;
    for (BTranslator* translator : translators) {
        BMemoryIO source(photo.bytes.data(), photo.bytes.size());
        translator_info info{};
        if (translator->Identify(&source, nullptr, nullptr, &info, B_TRANSLATOR_BITMAP) != B_OK ||
            info.type == B_TRANSLATOR_BITMAP) {
            continue;
        }
        int32 formatCount = 0;
        const translation_format* formats = translator->InputFormats(&formatCount);
        const translation_format* format = nullptr;
        for (int32 k = 0; k < formatCount; k++) {
            format = formats[k].type == info.type ? &formats[k] : format;
        }
        if (format == nullptr || !Wanted(*format, filters)) {
            continue;
        }
        const std::string key = Key({translator, format});
        Tally& tally = table->Row(key);
        source.Seek(0, SEEK_FROM_START);
        BBitmapStream stream;
        const double start = Now();
        status_t status =
            translator->Translate(&source, &info, nullptr, B_TRANSLATOR_BITMAP, &stream);
        const double seconds = Now() - start;
        BBitmap* bitmap = nullptr;
        if (status != B_OK || stream.DetachBitmap(&bitmap) != B_OK) {
            tally.Fail(key, photo, status);
            continue;
        }
        tally.Add(*bitmap, seconds, photo, 0);
        if (decoded == nullptr) {
            decoded.reset(bitmap);
        } else {
            delete bitmap;
        }
    }
    return decoded;
}

// Encodes the decoded picture into every output format.
void EncodeWithEach(const Photo& photo, std::unique_ptr<BBitmap> decoded,
                    const std::vector<Format>& outputs, Table* table) {
    for (const Format& output : outputs) {
        Tally& tally = table->Row(Key(output));
        BBitmapStream stream(decoded.release());
        BMallocIO out;
        translator_info info{};
        info.type = B_TRANSLATOR_BITMAP;
        info.group = B_TRANSLATOR_BITMAP;
        const double start = Now();
        status_t status =
            output.translator->Translate(&stream, &info, nullptr, output.format->type, &out);
        const double seconds = Now() - start;
        BBitmap* bitmap = nullptr;
        stream.DetachBitmap(&bitmap);
        decoded.reset(bitmap);
        if (status != B_OK) {
            tally.Fail(Key(output), photo, status);
            continue;
        }
        tally.Add(*decoded, seconds, photo, out.BufferLength());
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PHOTO_DIR [FORMAT ...]\n", argv[0]);
        return 2;
    }
    std::vector<std::string> filters(argv + 2, argv + argc);
    std::vector<Photo> photos;
    CollectPhotos(argv[1], &photos);
    if (photos.empty()) {
        std::fprintf(stderr, "no file under %s\n", argv[1]);
        return 2;
    }

    BTranslatorRoster* roster = BTranslatorRoster::Default();
    for (const auto& failure : roster->LoadFailures()) {
        std::fprintf(stderr, "add-on not loaded: %s: %s\n", failure.path.c_str(),
                     failure.reason.c_str());
    }
    std::vector<BTranslator*> translators;
    const std::vector<Format> outputs = ListOutputs(*roster, filters, &translators);
    std::printf("%zu files, %zu translators, %zu output formats\n", photos.size(),
                translators.size(), outputs.size());

    Table decoding;
    Table encoding;
    for (const Format& output : outputs) {
        encoding.Row(Key(output));
    }
    for (const Photo& photo : photos) {
        std::unique_ptr<BBitmap> decoded = DecodeWithEach(photo, translators, filters, &decoding);
        if (decoded == nullptr) {
            continue;
        }
        EncodeWithEach(photo, std::move(decoded), outputs, &encoding);
        std::fprintf(stderr, "%s\n", photo.name.c_str());
    }
    PrintTable("Decoding", decoding, false);
    PrintTable("Encoding (out/in: output size over the source files' size)", encoding, true);
    return 0;
}
