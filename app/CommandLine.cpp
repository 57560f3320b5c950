// SPDX-License-Identifier: MIT
#include "app/CommandLine.h"

#include <cstring>

#include "image/OrvImage.h"
#include "platform/storage/Entry.h"

namespace orv::cli {

namespace {

// An option's value, given as "--name=value" or as the next argument. Advances `i` past
// what it took. False when the value is missing.
bool TakeValue(std::span<const std::string> args, size_t* i, std::string_view name,
               std::string* value, bool* matched) {
    const std::string& arg = args[*i];
    *matched = false;
    if (arg == name) {
        *matched = true;
        if (*i + 1 >= args.size()) {
            return false;
        }
        *value = args[++*i];
        return true;
    }
    if (arg.size() > name.size() && arg.compare(0, name.size(), name) == 0 &&
        arg[name.size()] == '=') {
        *matched = true;
        *value = arg.substr(name.size() + 1);
        return true;
    }
    return true;
}

bool IsHelp(const std::string& arg) {
    return arg == "--help" || arg == "-h";
}

bool LooksLikeOption(const std::string& arg) {
    return arg.size() > 1 && arg[0] == '-';
}

ParseResult Fail(std::string error) {
    ParseResult result;
    result.error = std::move(error);
    return result;
}

ParseResult ParsePaths(std::span<const std::string> args, CommandKind kind) {
    ParseResult result;
    result.command.kind = kind;
    bool optionsEnded = false;
    for (const std::string& arg : args) {
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && IsHelp(arg)) {
            result.command = Command{};
            result.command.kind = CommandKind::Help;
            return result;
        } else if (!optionsEnded && LooksLikeOption(arg)) {
            return Fail("option inconnue : " + arg);
        } else {
            result.command.paths.push_back(arg);
        }
    }
    return result;
}

// The options of convert that take no value: each sets one flag of the request.
struct Switch {
    const char* name;
    bool ConversionOptions::*flag;
    bool value;
};
constexpr Switch kSwitches[] = {
    {"--no-keep-ratio", &ConversionOptions::keepRatio, false},
    {"--smooth", &ConversionOptions::smooth, true},
    {"--keep-old-extension", &ConversionOptions::removeOldExtension, false},
    {"--no-new-extension", &ConversionOptions::addNewExtension, false},
};

// What the value of an option makes of the request: an error text, or empty.
using ApplyValue = std::string (*)(const std::string& value, ConvertRequest* request);

std::string ApplyFilterValue(const std::string& value, ConvertRequest* request) {
    FilterLookup lookup = FindFilter(value);
    if (!lookup.index) {
        return lookup.error;
    }
    request->options.filter = *lookup.index;
    request->filterGiven = true;
    return {};
}

std::string ApplySourcesValue(const std::string& value, ConvertRequest* request) {
    if (value == "keep") {
        request->options.disposal = SourceDisposal::Keep;
    } else if (value == "trash") {
        request->options.disposal = SourceDisposal::Trash;
    } else if (value == "erase") {
        request->options.disposal = SourceDisposal::Erase;
    } else {
        return "--sources attend keep, trash ou erase, pas « " + value + " »";
    }
    return {};
}

struct ValueOption {
    const char* name;
    ApplyValue apply;
};
const ValueOption kValueOptions[] = {
    {"--to",
     [](const std::string& value, ConvertRequest* request) {
         request->format = value;
         return std::string();
     }},
    {"--filter", ApplyFilterValue},
    {"--width",
     [](const std::string& value, ConvertRequest* request) {
         request->options.width = value;
         return std::string();
     }},
    {"--height",
     [](const std::string& value, ConvertRequest* request) {
         request->options.height = value;
         return std::string();
     }},
    {"--sources", ApplySourcesValue},
};

// The option of convert at args[*i], with its value if it takes one (*i then moves past
// the value): an error text, or empty.
std::string TakeConvertOption(std::span<const std::string> args, size_t* i,
                              ConvertRequest* request) {
    const std::string& arg = args[*i];
    for (const Switch& option : kSwitches) {
        if (arg == option.name) {
            request->options.*option.flag = option.value;
            return {};
        }
    }
    for (const ValueOption& option : kValueOptions) {
        std::string value;
        bool matched = false;
        if (!TakeValue(args, i, option.name, &value, &matched)) {
            return std::string("l’option ") + option.name + " attend une valeur";
        }
        if (matched) {
            return option.apply(value, request);
        }
    }
    return "option inconnue : " + arg;
}

ParseResult ParseConvert(std::span<const std::string> args) {
    ParseResult result;
    result.command.kind = CommandKind::Convert;
    ConvertRequest& request = result.command.convert;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || !LooksLikeOption(arg)) {
            request.paths.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (IsHelp(arg)) {
            result.command.kind = CommandKind::Help;
            return result;
        } else if (std::string error = TakeConvertOption(args, &i, &request); !error.empty()) {
            return Fail(std::move(error));
        }
    }
    // An empty --to= names no format either.
    if (request.format.empty()) {
        return Fail("convert : indiquez le format de sortie avec --to FORMAT");
    }
    if (request.paths.empty()) {
        return Fail("convert : indiquez au moins un fichier ou un dossier");
    }
    return result;
}

ParseResult ParseSettings(std::span<const std::string> args) {
    ParseResult result;
    result.command.kind = CommandKind::Settings;
    SettingsRequest& request = result.command.settings;
    for (const std::string& arg : args) {
        if (IsHelp(arg)) {
            result.command.kind = CommandKind::Help;
            return result;
        }
        if (request.format.empty()) {
            if (LooksLikeOption(arg)) {
                return Fail("option inconnue : " + arg);
            }
            request.format = arg;
            continue;
        }
        const size_t equals = arg.find('=');
        if (equals == std::string::npos || equals == 0) {
            return Fail("settings : « " + arg + " » n’est pas de la forme RÉGLAGE=VALEUR");
        }
        request.changes.emplace_back(arg.substr(0, equals), arg.substr(equals + 1));
    }
    if (request.format.empty()) {
        return Fail("settings : indiquez le format (voir « orvane formats »)");
    }
    return result;
}

// Multi-byte French letters and what they fold to.
struct Fold {
    const char* from;
    char to;
};
constexpr Fold kFolds[] = {
    {"à", 'a'}, {"â", 'a'}, {"ä", 'a'}, {"À", 'a'}, {"Â", 'a'}, {"ç", 'c'}, {"Ç", 'c'},
    {"é", 'e'}, {"è", 'e'}, {"ê", 'e'}, {"ë", 'e'}, {"É", 'e'}, {"È", 'e'}, {"Ê", 'e'},
    {"î", 'i'}, {"ï", 'i'}, {"Î", 'i'}, {"ô", 'o'}, {"ö", 'o'}, {"Ô", 'o'}, {"ù", 'u'},
    {"û", 'u'}, {"ü", 'u'}, {"Û", 'u'}, {"œ", 'o'}, {"ÿ", 'y'},
};

}  // namespace

std::string FoldForMatch(std::string_view text) {
    std::string folded;
    folded.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const unsigned char byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            folded += (byte >= 'A' && byte <= 'Z') ? char(byte - 'A' + 'a') : char(byte);
            ++i;
            continue;
        }
        bool replaced = false;
        for (const Fold& fold : kFolds) {
            const size_t length = std::strlen(fold.from);
            if (text.substr(i, length) == fold.from) {
                folded += fold.to;
                i += length;
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            folded += text[i++];
        }
    }
    return folded;
}

FilterLookup FindFilter(std::string_view text) {
    FilterLookup lookup;
    if (!text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos) {
        if (text.size() <= 2) {
            const int32 number = std::stoi(std::string(text));
            if (number < kFilterCount) {
                lookup.index = number;
                return lookup;
            }
        }
        lookup.error = "--filter : le numéro de filtre va de 0 à " +
                       std::to_string(kFilterCount - 1) + ", pas " + std::string(text);
        return lookup;
    }
    const std::string wanted = FoldForMatch(text);
    std::vector<int32> prefixed;
    for (int32 i = 0; i < kFilterCount; ++i) {
        const std::string label = FoldForMatch(label_filter[i]);
        if (label == wanted) {
            lookup.index = i;
            return lookup;
        }
        if (!wanted.empty() && label.compare(0, wanted.size(), wanted) == 0) {
            prefixed.push_back(i);
        }
    }
    if (prefixed.size() == 1) {
        lookup.index = prefixed.front();
        return lookup;
    }
    if (prefixed.empty()) {
        lookup.error = "--filter : aucun filtre ne s’appelle « " + std::string(text) +
                       " » (voir « orvane --help » pour la liste)";
    } else {
        lookup.error = "--filter : « " + std::string(text) + " » désigne plusieurs filtres :";
        for (int32 index : prefixed) {
            lookup.error += "\n  " + std::to_string(index) + "  " + label_filter[index];
        }
    }
    return lookup;
}

ParseResult ParseCommandLine(std::span<const std::string> args) {
    if (args.empty()) {
        return ParsePaths(args, CommandKind::Window);
    }
    const std::string& first = args.front();
    const std::span<const std::string> rest = args.subspan(1);
    if (IsHelp(first)) {
        ParseResult result;
        result.command.kind = CommandKind::Help;
        return result;
    }
    if (first == "--version") {
        if (!rest.empty()) {
            return Fail("--version ne prend pas d’argument");
        }
        ParseResult result;
        result.command.kind = CommandKind::Version;
        return result;
    }
    if (first == "--add-on") {
        return ParsePaths(rest, CommandKind::AddOn);
    }
    if (first == "convert") {
        return ParseConvert(rest);
    }
    if (first == "formats") {
        if (!rest.empty()) {
            return IsHelp(rest.front()) ? ParsePaths(rest, CommandKind::Formats)
                                        : Fail("formats ne prend pas d’argument");
        }
        ParseResult result;
        result.command.kind = CommandKind::Formats;
        return result;
    }
    if (first == "settings") {
        return ParseSettings(rest);
    }
    return ParsePaths(args, CommandKind::Window);
}

BMessage RefsFromPaths(uint32 what, const std::vector<std::string>& paths,
                       std::vector<std::string>* unusable) {
    BMessage message(what);
    for (const std::string& path : paths) {
        entry_ref ref;
        if (BEntry(path.c_str(), false).GetRef(&ref) == B_OK) {
            message.AddRef("refs", &ref);
        } else {
            unusable->push_back(path);
        }
    }
    return message;
}

std::string UsageText() {
    std::string text =
        "Utilisation :\n"
        "  orvane [FICHIER|DOSSIER ...]        ouvre la fenêtre avec ces fichiers (une seule\n"
        "                                      fenêtre : un second lancement lui passe ses\n"
        "                                      fichiers)\n"
        "  orvane --add-on FICHIER ...         confie la sélection du gestionnaire de fichiers\n"
        "                                      à la fenêtre, qui se ferme après la conversion\n"
        "  orvane convert --to FORMAT [options] FICHIER|DOSSIER ...\n"
        "                                      convertit sans fenêtre\n"
        "  orvane formats                      liste les formats de sortie\n"
        "  orvane settings FORMAT [RÉGLAGE=VALEUR ...]\n"
        "                                      montre ou change les réglages d’un format\n"
        "  orvane --help | --version\n"
        "\n"
        "Options de convert :\n"
        "  --to FORMAT             nom du format, type MIME ou extension (png, image/jpeg...)\n"
        "  --filter N|NOM          filtre à appliquer, par numéro ou par nom (voir ci-dessous)\n"
        "  --width TEXTE           nouvelle largeur (« X : » dans la fenêtre)\n"
        "  --height TEXTE          nouvelle hauteur (« Y : » dans la fenêtre)\n"
        "  --no-keep-ratio         ne garde pas les proportions\n"
        "  --smooth                anti-crénelage\n"
        "  --sources keep|trash|erase\n"
        "                          conserve les originaux (par défaut), les met dans la\n"
        "                          corbeille ou les efface\n"
        "  --keep-old-extension    garde l’ancienne extension dans le nom\n"
        "  --no-new-extension      n’ajoute pas la nouvelle extension\n"
        "\n"
        "Filtres :\n";
    for (int32 i = 0; i < kFilterCount; ++i) {
        text += (i < 10 ? "   " : "  ") + std::to_string(i) + "  " + label_filter[i] + "\n";
    }
    text +=
        "\n"
        "Code de sortie : 0 quand tout a été converti, 1 quand un fichier a échoué,\n"
        "2 pour une erreur d’utilisation.\n";
    return text;
}

}  // namespace orv::cli
