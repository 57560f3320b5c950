// SPDX-License-Identifier: MIT
#include "app/CatalogueCommands.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/FormatLookup.h"
#include "conversion/OutputFormat.h"
#include "platform/support/ErrorReason.h"
#include "platform/translation/ImageTranslator.h"
#include "platform/translation/TranslatorRoster.h"

namespace orv::cli {

namespace {

using Row = std::vector<std::string>;

void PrintTable(const std::vector<Row>& rows) {
    std::vector<size_t> widths;
    for (const Row& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], DisplayWidth(row[i]));
        }
    }
    for (const Row& row : rows) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i) {
            line += i + 1 < row.size() ? PadRight(row[i], widths[i] + 2) : row[i];
        }
        std::printf("%s\n", line.c_str());
    }
}

std::string TranslatorName(const BTranslatorRoster& roster, translator_id id) {
    const char* name = nullptr;
    const char* info = nullptr;
    int32 version = 0;
    if (roster.GetTranslatorInfo(id, &name, &info, &version) != B_OK || name == nullptr) {
        return "?";
    }
    return name;
}

std::string ValueText(const SettingSchema& schema, int32 value) {
    switch (schema.kind) {
        case SettingSchema::Kind::Bool:
            return value != 0 ? "true" : "false";
        case SettingSchema::Kind::Int:
            return std::to_string(value);
        case SettingSchema::Kind::Choice:
            for (const SettingChoice& choice : schema.choices) {
                if (choice.value == value) {
                    return std::to_string(value) + " (" + choice.label + ")";
                }
            }
            return std::to_string(value);
    }
    return std::to_string(value);
}

std::string RangeText(const SettingSchema& schema) {
    switch (schema.kind) {
        case SettingSchema::Kind::Bool:
            return "true|false";
        case SettingSchema::Kind::Int:
            return std::to_string(schema.minimum) + " à " + std::to_string(schema.maximum);
        case SettingSchema::Kind::Choice: {
            std::string text;
            for (const SettingChoice& choice : schema.choices) {
                text += (text.empty() ? "" : ", ") + std::to_string(choice.value) + " = " +
                        choice.label;
            }
            return text;
        }
    }
    return {};
}

}  // namespace

size_t DisplayWidth(const std::string& text) {
    // Every byte but UTF-8 continuation bytes starts one character.
    return size_t(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string PadRight(const std::string& text, size_t width) {
    const size_t shown = DisplayWidth(text);
    return shown >= width ? text : text + std::string(width - shown, ' ');
}

void ReportLoadFailures(const BTranslatorRoster& roster) {
    for (const BTranslatorRoster::LoadFailure& failure : roster.LoadFailures()) {
        std::fprintf(stderr, "orvane : traducteur non chargé : %s : %s\n", failure.path.c_str(),
                     failure.reason.c_str());
    }
}

int RunFormats(BTranslatorRoster* roster) {
    const std::vector<OutputFormat> catalogue = BuildOutputFormats(roster);
    ReportLoadFailures(*roster);
    if (catalogue.empty()) {
        std::fprintf(stderr,
                     "orvane : aucun format de sortie : aucun traducteur n’est installé "
                     "(dossiers lus : $ORVANE_TRANSLATORS, puis ceux de l’installation)\n");
        return 1;
    }
    std::vector<Row> rows = {{"N°", "Nom", "Type MIME", "Extension", "Traducteur"}};
    for (size_t i = 0; i < catalogue.size(); ++i) {
        const OutputFormat& format = catalogue[i];
        rows.push_back({std::to_string(i), format.name, format.MIME,
                        format.extension.empty() ? "-" : format.extension,
                        TranslatorName(*roster, format.translator)});
    }
    PrintTable(rows);
    return 0;
}

int RunSettings(BTranslatorRoster* roster, const SettingsRequest& request) {
    const std::vector<OutputFormat> catalogue = BuildOutputFormats(roster);
    ReportLoadFailures(*roster);
    const FormatLookup lookup = FindFormat(catalogue, request.format);
    if (!lookup.index) {
        std::fprintf(stderr, "orvane : %s\n", lookup.error.c_str());
        return 2;
    }
    const OutputFormat& format = catalogue[size_t(*lookup.index)];
    auto* translator = dynamic_cast<ImageTranslator*>(roster->Translator(format.translator));
    if (translator == nullptr || translator->Settings().Schema().empty()) {
        std::printf("« %s » n’a pas de réglages.\n", format.name.c_str());
        return 0;
    }
    TranslatorSettings& settings = translator->Settings();

    for (const auto& [key, value] : request.changes) {
        if (settings.SetFromText(key.c_str(), value.c_str()) != B_OK) {
            std::fprintf(stderr, "orvane : %s\n", ErrorReasonOr(B_BAD_VALUE).c_str());
            std::string names;
            for (const SettingSchema& schema : settings.Schema()) {
                names += std::string(names.empty() ? "" : ", ") + schema.name;
            }
            std::fprintf(stderr, "réglages de « %s » : %s\n", format.name.c_str(), names.c_str());
            return 2;
        }
        const SettingSchema* schema = nullptr;
        for (const SettingSchema& candidate : settings.Schema()) {
            if (key == candidate.name) {
                schema = &candidate;
            }
        }
        std::printf("%s = %s : enregistré\n", key.c_str(),
                    ValueText(*schema, settings.Int32(key.c_str())).c_str());
    }
    if (!request.changes.empty()) {
        return 0;
    }

    std::printf("Réglages de « %s » (%s), dans %s/%s.settings :\n", format.name.c_str(),
                TranslatorName(*roster, format.translator).c_str(),
                TranslatorSettings::Directory().c_str(), settings.Key().c_str());
    std::vector<Row> rows = {{"  Réglage", "Valeur", "Libellé", "Valeurs possibles"}};
    for (const SettingSchema& schema : settings.Schema()) {
        rows.push_back({std::string("  ") + schema.name,
                        ValueText(schema, settings.Int32(schema.name)), schema.label,
                        RangeText(schema)});
    }
    PrintTable(rows);
    return 0;
}

}  // namespace orv::cli
