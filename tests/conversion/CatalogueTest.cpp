// SPDX-License-Identifier: MIT
// The output format catalogue: which formats the translators' lists give, in which order,
// with which extension, and how the form's format menu shows them.
#include <gtest/gtest.h>

#include "conversion/OutputFormat.h"
#include "platform/interface/Menu.h"
#include "platform/interface/MenuField.h"
#include "platform/storage/MimeType.h"
#include "tests/conversion/FakeTranslator.h"
#include "tests/conversion/ProgramTestSupport.h"
#include "ui/OrvView.h"

namespace orv::test {
namespace {

constexpr uint32 kPNG = FourCC("PNG ");
constexpr uint32 kJPEG = FourCC("JPEG");
constexpr uint32 kText = FourCC("TEXT");
constexpr uint32 kTextGroup = FourCC("txt ");

TEST(Catalogue, KeepsPictureFormatsInRosterOrderWithoutMerging) {
    BTranslatorRoster roster;
    roster.AddTranslator(new FakeTranslator(
        {Format(B_TRANSLATOR_BITMAP, B_TRANSLATOR_BITMAP, "image/x-be-bitmap", "Bits"),
         Format(kPNG, B_TRANSLATOR_BITMAP, "image/png", "PNG premier"),
         Format(kText, kTextGroup, "text/plain", "Texte"),
         Format(kJPEG, B_TRANSLATOR_BITMAP, "image/jpeg", "JPEG")},
        "réglage"));
    roster.AddTranslator(new FakeTranslator({}));
    // A picture type named with the bitmap group's code in another group is still no picture.
    roster.AddTranslator(
        new FakeTranslator({Format(kPNG, kTextGroup, "image/png", "Pas une image"),
                            Format(kPNG, B_TRANSLATOR_BITMAP, "image/png", "PNG second")}));

    const std::vector<OutputFormat> catalogue = BuildOutputFormats(&roster);
    ASSERT_EQ(catalogue.size(), 3u);
    EXPECT_EQ(catalogue[0].name, "PNG premier");
    EXPECT_EQ(catalogue[1].name, "JPEG");
    EXPECT_EQ(catalogue[2].name, "PNG second");
    EXPECT_EQ(catalogue[0].translator, catalogue[1].translator);
    EXPECT_NE(catalogue[0].translator, catalogue[2].translator);
    EXPECT_EQ(catalogue[0].type, kPNG);
    EXPECT_EQ(catalogue[1].MIME, "image/jpeg");
    // The database's first extension of each type, with its dot.
    EXPECT_EQ(catalogue[0].extension, ".png");
    EXPECT_EQ(catalogue[1].extension, ".jpg");
}

TEST(Catalogue, ExtensionsKeepTheirCaseAndUnknownTypesGetNone) {
    ASSERT_EQ(BMimeType::RegisterExtensions("image/x-orvane-upper", {"JPG", "jpeg"}), B_OK);
    BTranslatorRoster roster;
    roster.AddTranslator(new FakeTranslator(
        {Format(FourCC("UPPR"), B_TRANSLATOR_BITMAP, "image/x-orvane-upper", "Majuscules"),
         Format(FourCC("UNKN"), B_TRANSLATOR_BITMAP, "image/x-orvane-unknown", "Inconnu"),
         Format(FourCC("NONE"), B_TRANSLATOR_BITMAP, "", "")}));
    const std::vector<OutputFormat> catalogue = BuildOutputFormats(&roster);
    ASSERT_EQ(catalogue.size(), 3u);
    EXPECT_EQ(catalogue[0].extension, ".JPG");
    EXPECT_EQ(catalogue[1].extension, "");
    EXPECT_EQ(catalogue[2].extension, "");
    EXPECT_EQ(catalogue[2].name, "");
}

TEST(Catalogue, NameFillingItsWholeBufferIsCopiedWithinIt) {
    translation_format format = Format(kPNG, B_TRANSLATOR_BITMAP, "image/png", "");
    std::memset(format.name, 'n', sizeof(format.name));
    BTranslatorRoster roster;
    roster.AddTranslator(new FakeTranslator({format}));
    const std::vector<OutputFormat> catalogue = BuildOutputFormats(&roster);
    ASSERT_EQ(catalogue.size(), 1u);
    EXPECT_EQ(catalogue[0].name, std::string(sizeof(format.name), 'n'));
}

TEST(Catalogue, MenuListsTheWindowsCatalogueWithNothingMarked) {
    BTranslatorRoster roster;
    roster.AddTranslator(
        new FakeTranslator({Format(kPNG, B_TRANSLATOR_BITMAP, "image/png", "PNG"),
                            Format(kJPEG, B_TRANSLATOR_BITMAP, "image/jpeg", "")}));
    roster.AddTranslator(
        new FakeTranslator({Format(kPNG, B_TRANSLATOR_BITMAP, "image/png", "PNG")}));
    ProgramWindow window(&roster);
    const ViewState field = window.View("M_Translator");
    EXPECT_EQ(field.menu.items, (std::vector<std::string>{"PNG", "", "PNG"}));
    EXPECT_EQ(field.menu.marked, -1);
    EXPECT_EQ(field.menu.shownLabel, "Format de sortie");
}

TEST(Catalogue, NoTranslatorGivesAnEmptyMenuAndTheProgramStillRuns) {
    BTranslatorRoster roster;
    ProgramWindow window(&roster);
    EXPECT_EQ(window->FormatCount(), 0);
    EXPECT_TRUE(window.View("M_Translator").menu.items.empty());
    const BMessage report = window.Convert();
    EXPECT_EQ(report.GetInt32("converted", -1), 0);
}

}  // namespace
}  // namespace orv::test
