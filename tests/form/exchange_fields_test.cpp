// Showing the form fields and reading them back: defaults, formats, list
// values, each check with its message, and the order of the checks.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "form/field_syntax.h"
#include "resources/control_ids.h"
#include "tests/form/form_test_fixture.h"

namespace {

using form_test::FormTest;

std::string Repeat(const std::string& piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

// ---- the numeric syntax of the read-back ----

TEST(IntegerFieldSyntax, AcceptsBlanksSignAndDigitsOnly) {
    for (const char* text : {"12", " -12 ", "\t+5\t", "00", "0", " 0 ", "2147483647", "-2147483648"})
        EXPECT_TRUE(ReadIntegerField(text).has_value()) << '"' << text << '"';
    EXPECT_EQ(ReadIntegerField(" -12 "), -12);
    EXPECT_EQ(ReadIntegerField("-2147483648"), -2147483648LL);
    for (const char* text : {"", " ", "+", "-", "1 2", "1.0", "12x", "x12", "\n12", "2147483648", "-2147483649",
                             "99999999999999999999"})
        EXPECT_FALSE(ReadIntegerField(text).has_value()) << '"' << text << '"';
}

TEST(IntegerFieldSyntax, AZeroMustBeginWithTheDigitZero) {
    EXPECT_EQ(ReadIntegerField("0"), 0);
    EXPECT_EQ(ReadIntegerField("000"), 0);
    EXPECT_FALSE(ReadIntegerField("-0").has_value());
    EXPECT_FALSE(ReadIntegerField("+0").has_value());
    EXPECT_EQ(ReadIntegerField("-01"), -1);  // not zero: the rule does not apply
}

TEST(FloatFieldSyntax, AcceptsOneDecimalNumberBetweenBlanks) {
    for (const char* text : {"45", " 45\t", "-1.5", "+1.5", "5.", ".5", "1e3", "1E+3", "2.5e-3", "0", "0.0", "0e5"})
        EXPECT_TRUE(ReadFloatField(text).has_value()) << '"' << text << '"';
    EXPECT_EQ(*ReadFloatField(" 55.1 "), 55.1);
    EXPECT_EQ(*ReadFloatField("2.5e-3"), 0.0025);
    EXPECT_EQ(*ReadFloatField(" -1,5 "), -1.5);  // a decimal comma, as a Russian keyboard types it
    for (const char* text : {"", " ", ".", "-", "1e", "1e+", "e5", "1,5,5", "1.5,5", ",", "4 5", "inf", "nan", "0x10", "1.5x",
                             "\n1", "1e39", "-1e39", "1e999"})
        EXPECT_FALSE(ReadFloatField(text).has_value()) << '"' << text << '"';
}

TEST(FloatFieldSyntax, AZeroMustBeginWithTheDigitZero) {
    EXPECT_TRUE(ReadFloatField("0.0").has_value());
    EXPECT_TRUE(ReadFloatField(" 0.000").has_value());
    EXPECT_FALSE(ReadFloatField(".0").has_value());
    EXPECT_FALSE(ReadFloatField("-0").has_value());
    EXPECT_FALSE(ReadFloatField("+0").has_value());
    EXPECT_FALSE(ReadFloatField("-0.0").has_value());
    EXPECT_FALSE(ReadFloatField("1e-400").has_value());  // reads as zero
}

TEST(FloatFieldText, WritesSixSignificantDigitsInTheShorterNotation) {
    EXPECT_EQ(FloatFieldText(45.0f), "45");
    EXPECT_EQ(FloatFieldText(0.0f), "0");
    EXPECT_EQ(FloatFieldText(-0.0f), "0");  // so that it reads back
    EXPECT_EQ(FloatFieldText(55.1f), "55.1");
    EXPECT_EQ(FloatFieldText(-179.999f), "-179.999");
    EXPECT_EQ(FloatFieldText(1234567.0f), "1.23457e+06");
    EXPECT_EQ(FloatFieldText(0.0001f), "0.0001");
    EXPECT_EQ(FloatFieldText(0.00001f), "1e-05");
}

TEST(FormFieldsDefaults, HoldTheFormsStartingValues) {
    const FormFields f = FormFields::Defaults("KIV");
    EXPECT_EQ(f.StationCode, "KIV");
    EXPECT_EQ(f.Latitude, 45.0);
    EXPECT_EQ(f.Longitude, 45.0f);
    EXPECT_EQ(f.Elevation, 0.0f);
    EXPECT_EQ(f.GroupCount, 4);
    EXPECT_EQ(f.DbNumber, 0);
    EXPECT_EQ(f.SampleRate, (std::array<std::string, 7>{"20", "20", "200", "200", "", "", ""}));
    const std::vector<std::string> names(f.ChanName.begin(), f.ChanName.end());
    EXPECT_EQ(names, (std::vector<std::string>{"BLZ", "BLN", "BLE", "BHZ", "BHN", "BHE", "ELZ", "ELN", "ELE", "EHZ",
                                               "EHN", "EHE", "", "", "", "", "", "", "", "", ""}));
    for (const auto& code : f.LocCode) EXPECT_EQ(code, "");
    EXPECT_EQ(f.OnDate, "");
}

// ---- the form on the in-memory dialog ----

class ExchangeTest : public FormTest {
protected:
    // Reads back and answers the message it showed, if any.
    std::string ReadBackMessage() {
        port.ClearMessages();
        const bool ok = form->ExchangeFields(Exchange::ReadBack);
        if (ok) return {};
        EXPECT_EQ(port.Messages().size(), 1u) << MessageTexts();
        return port.Messages().empty() ? "(no message)" : port.Messages().back().text;
    }
};

TEST_F(ExchangeTest, OpeningShowsTheDefaultsWithRowsOneToFourEnabled) {
    OpenForm();
    EXPECT_TRUE(port.Messages().empty()) << MessageTexts();
    EXPECT_EQ(port.Text(ctl::GroupCount), "4");
    EXPECT_EQ(port.Text(ctl::Latitude), "45");
    EXPECT_EQ(port.Text(ctl::Longitude), "45");
    EXPECT_EQ(port.Text(ctl::Elevation), "0");
    EXPECT_EQ(port.Text(ctl::StationCode), "");
    EXPECT_EQ(port.Text(ctl::ChanName(ctl::CellIndex(1, 0))), "BLZ");
    EXPECT_EQ(port.Text(ctl::ChanName(ctl::CellIndex(4, 2))), "EHE");
    for (int k = 0; k < ctl::CellCount; ++k) {
        EXPECT_EQ(port.IsEnabled(ctl::ChanName(k)), k < 12) << "cell " << k;
        EXPECT_EQ(port.IsEnabled(ctl::ResponseButton(k)), k < 12) << "cell " << k;
    }
    for (int g = 1; g <= 7; ++g) {
        EXPECT_EQ(port.IsEnabled(ctl::SampleRate(g)), g <= 4) << "group " << g;
        EXPECT_EQ(port.IsEnabled(ctl::LocCode(g)), g <= 4) << "group " << g;
        EXPECT_EQ(port.IsEnabled(ctl::SensorType(g)), g <= 4) << "group " << g;
    }
}

TEST_F(ExchangeTest, OpeningOffersTheFourLocationCodesAndShowsAnEmptyCodeAsAnEmptyField) {
    OpenForm();
    for (int g = 1; g <= 7; ++g) {
        EXPECT_EQ(port.Entries(ctl::LocCode(g)), (std::vector<std::string>{"00", "10", "??", "XX"}));
        EXPECT_EQ(port.Text(ctl::LocCode(g)), "");
        EXPECT_EQ(port.GetCurSel(ctl::LocCode(g)), platform::CB_ERR);
    }
    EXPECT_EQ(port.Text(ctl::CentralPoint), "");
}

TEST_F(ExchangeTest, ShowingTellsEachEditItsTypingLimitAndTheStationCodeNone) {
    OpenForm();
    EXPECT_EQ(port.Limit(ctl::IntlCode), 6);  // SITE.COD
    for (int g = 1; g <= ctl::GroupCountMax; ++g) {
        EXPECT_EQ(port.Limit(ctl::LocCode(g)), 8);      // SITECHAN.LCODE
        EXPECT_EQ(port.Limit(ctl::SensorType(g)), 50);  // SITECHAN.DESCR
    }
    for (int k = 0; k < ctl::CellCount; ++k) EXPECT_EQ(port.Limit(ctl::ChanName(k)), 6);
    EXPECT_EQ(port.Limit(ctl::NameRu), 50);
    EXPECT_EQ(port.Limit(ctl::NameEn), 50);
    EXPECT_EQ(port.Limit(ctl::OnDate), 50);
    EXPECT_EQ(port.Limit(ctl::OffDate), 50);
    EXPECT_EQ(port.Limit(ctl::Ground), 250);
    EXPECT_EQ(port.Limit(ctl::StationCode), 0);
    port.TypeKeys(ctl::ChanName(0), "X");  // "BLZ" + X
    port.TypeKeys(ctl::ChanName(0), "YZW");
    EXPECT_EQ(port.Text(ctl::ChanName(0)), "BLZXYZ");
}

TEST_F(ExchangeTest, ShowingAListValueSelectsTheFirstEntryItBeginsElseFillsTheEditField) {
    OpenForm();
    auto& f = form->Fields();
    f.LocCode[0] = "1";
    f.LocCode[1] = "xx";
    f.LocCode[2] = "Q7";
    f.LocCode[3] = "";
    form->ExchangeFields(Exchange::Show);
    EXPECT_EQ(port.Text(ctl::LocCode(1)), "10");
    EXPECT_EQ(port.GetLBText(ctl::LocCode(1), port.GetCurSel(ctl::LocCode(1))), "10");
    EXPECT_EQ(port.Text(ctl::LocCode(2)), "XX");
    EXPECT_EQ(port.Text(ctl::LocCode(3)), "Q7");
    EXPECT_EQ(port.GetCurSel(ctl::LocCode(3)), platform::CB_ERR);
    EXPECT_EQ(port.Text(ctl::LocCode(4)), "");

    // A later empty value empties the field and the selection again.
    f.LocCode[0] = "";
    form->ExchangeFields(Exchange::Show);
    EXPECT_EQ(port.Text(ctl::LocCode(1)), "");
    EXPECT_EQ(port.GetCurSel(ctl::LocCode(1)), platform::CB_ERR);
}

TEST_F(ExchangeTest, ShowingAgainLeavesUnchangedControlsUntouched) {
    OpenForm();
    // A GroupCount change notification would enable the cell again.
    port.Enable(ctl::ChanName(0), false);
    form->ExchangeFields(Exchange::Show);
    EXPECT_FALSE(port.IsEnabled(ctl::ChanName(0)));
}

TEST_F(ExchangeTest, ReadBackTakesEveryControlIntoItsField) {
    OpenForm();
    port.ReplaceText(ctl::Latitude, " 55.1 ");
    port.ReplaceText(ctl::Longitude, "-120");
    port.ReplaceText(ctl::Elevation, "1e3");
    port.ReplaceText(ctl::DbNumber, "17");
    port.ReplaceText(ctl::IntlCode, "intl");
    port.ReplaceText(ctl::NameRu, "Кисловодск");
    port.ReplaceText(ctl::LocCode(2), "aa");
    port.ReplaceText(ctl::SensorType(3), "sts-1");
    port.ReplaceText(ctl::OffsetNorth, "2.5");
    ASSERT_EQ(ReadBackMessage(), "");
    const auto& f = form->Fields();
    EXPECT_EQ(f.Latitude, 55.1);
    EXPECT_EQ(f.Longitude, -120.0);
    EXPECT_EQ(f.Elevation, 1000.0);
    EXPECT_EQ(f.DbNumber, 17);
    EXPECT_EQ(f.IntlCode, "intl");
    EXPECT_EQ(f.NameRu, "Кисловодск");
    EXPECT_EQ(f.LocCode[1], "aa");
    EXPECT_EQ(f.SensorType[2], "STS-1");
    EXPECT_EQ(f.OffsetNorth, "2.5");
    EXPECT_EQ(f.GroupCount, 4);
}

// One failing control, its text, and the message it must show.
struct FailingCheck {
    int id;
    std::string text;
    bool typed;  // typed by the user, else set by the program
    std::string message;
};

TEST_F(ExchangeTest, EachCheckShowsItsMessageAndFocusesItsControlWithTheTextSelected) {
    const std::vector<FailingCheck> checks = {
        {ctl::Elevation, "", true, "Please enter a number."},
        {ctl::Latitude, "north", true, "Please enter a number."},
        {ctl::Latitude, "120", true, "Please enter a number between -90 and 90."},
        {ctl::Latitude, "-90.5", true, "Please enter a number between -90 and 90."},
        {ctl::Longitude, "-180.01", true, "Please enter a number between -180 and 180."},
        {ctl::Longitude, ".0", true, "Please enter a number."},
        {ctl::GroupCount, "", true, "Please enter an integer."},
        {ctl::GroupCount, "0", true, "Please enter an integer."},  // typing 0 empties the edit
        {ctl::DbNumber, "", true, "Please enter an integer."},
        {ctl::DbNumber, "12x", true, "Please enter an integer."},
        {ctl::DbNumber, "-0", true, "Please enter an integer."},
        {ctl::StationCode, "ABCDEFGHI", true, "Please enter no more than 8 characters."},
        {ctl::IntlCode, "1234567", false, "Please enter no more than 6 characters."},
        {ctl::LocCode(3), "123456789", false, "Please enter no more than 8 characters."},
        {ctl::SensorType(2), Repeat("Д", 51), false, "Please enter no more than 50 characters."},
        {ctl::ChanName(ctl::CellIndex(2, 1)), "BHN1234", false, "Please enter no more than 6 characters."},
        {ctl::NameRu, Repeat("ж", 51), false, "Please enter no more than 50 characters."},
        {ctl::NameEn, Repeat("e", 51), false, "Please enter no more than 50 characters."},
        {ctl::Ground, Repeat("g", 251), false, "Please enter no more than 250 characters."},
        {ctl::OnDate, Repeat("1", 51), false, "Please enter no more than 50 characters."},
        {ctl::OffDate, Repeat("1", 51), false, "Please enter no more than 50 characters."},
    };
    OpenForm();
    for (const FailingCheck& check : checks) {
        SCOPED_TRACE("control " + std::to_string(check.id) + " text '" + check.text + "'");
        const std::string before = port.Text(check.id);
        if (check.typed)
            port.ReplaceText(check.id, check.text);
        else
            port.SetText(check.id, check.text);
        EXPECT_EQ(ReadBackMessage(), check.message);
        ASSERT_FALSE(port.Messages().empty());
        EXPECT_EQ(port.Messages().back().icon, platform::Icon::Exclamation);
        EXPECT_EQ(port.Messages().back().buttons, platform::Buttons::Ok);
        EXPECT_EQ(port.Messages().back().caption, "station-editor");
        EXPECT_EQ(port.Focus().id, check.id);
        EXPECT_TRUE(port.Focus().allSelected);
        // Put back a valid text for the next case.
        port.SetText(check.id, before.empty() && check.id == ctl::GroupCount ? "4" : before);
        if (check.id == ctl::DbNumber) port.SetText(check.id, "0");
        if (check.id == ctl::StationCode) port.SetText(check.id, "");
    }
    EXPECT_EQ(ReadBackMessage(), "");
}

TEST_F(ExchangeTest, LengthsCountCharactersNotBytes) {
    OpenForm();
    port.SetText(ctl::NameRu, Repeat("ж", 50));  // 100 bytes
    port.SetText(ctl::IntlCode, "ЖЖЖЖЖЖЖЖ");
    port.ReplaceText(ctl::StationCode, "ОБНИНСК1");
    EXPECT_EQ(ReadBackMessage(), "");
}

TEST_F(ExchangeTest, LatitudeTakesNinetyAndLongitudeOneHundredEightyDegreesEitherWayInclusive) {
    OpenForm();
    for (const char* latitude : {"-90", "90"}) {
        port.ReplaceText(ctl::Latitude, latitude);
        port.ReplaceText(ctl::Longitude, latitude[0] == '-' ? "-180" : "180");
        EXPECT_EQ(ReadBackMessage(), "") << latitude;
    }
    EXPECT_EQ(form->Fields().Latitude, 90.0);
    EXPECT_EQ(form->Fields().Longitude, 180.0);
}

TEST_F(ExchangeTest, OnlyTheFirstFailureInExchangeOrderIsReported) {
    OpenForm();
    // Exchange order: cell 0, cells 9..20, cells 1..8, Elevation, ..., NameRu.
    port.SetText(ctl::NameRu, Repeat("n", 60));
    port.ReplaceText(ctl::Elevation, "");
    port.SetText(ctl::ChanName(1), "1234567");
    port.SetText(ctl::ChanName(9), "1234567");
    EXPECT_EQ(ReadBackMessage(), "Please enter no more than 6 characters.");
    EXPECT_EQ(port.Focus().id, ctl::ChanName(9));
    port.SetText(ctl::ChanName(9), "EHZ");
    EXPECT_EQ(ReadBackMessage(), "Please enter no more than 6 characters.");
    EXPECT_EQ(port.Focus().id, ctl::ChanName(1));
    port.SetText(ctl::ChanName(1), "BLN");
    EXPECT_EQ(ReadBackMessage(), "Please enter a number.");
    EXPECT_EQ(port.Focus().id, ctl::Elevation);
    port.ReplaceText(ctl::Elevation, "0");
    EXPECT_EQ(ReadBackMessage(), "Please enter no more than 50 characters.");
    EXPECT_EQ(port.Focus().id, ctl::NameRu);
}

TEST_F(ExchangeTest, FieldsBeforeTheFailureTakeTheirNewValuesAndLaterOnesKeepTheOld) {
    OpenForm();
    port.ReplaceText(ctl::ChanName(0), "NEW");
    port.ReplaceText(ctl::Latitude, "12");
    port.ReplaceText(ctl::Longitude, "east");
    port.ReplaceText(ctl::IntlCode, "LATER");
    EXPECT_EQ(ReadBackMessage(), "Please enter a number.");
    const auto& f = form->Fields();
    EXPECT_EQ(f.ChanName[0], "NEW");
    EXPECT_EQ(f.Latitude, 12.0);
    EXPECT_EQ(f.Longitude, 45.0);
    EXPECT_EQ(f.IntlCode, "");
}

TEST_F(ExchangeTest, ATooLongValueIsTakenIntoItsFieldBeforeItsCheckFails) {
    OpenForm();
    port.SetText(ctl::IntlCode, "1234567");
    EXPECT_EQ(ReadBackMessage(), "Please enter no more than 6 characters.");
    EXPECT_EQ(form->Fields().IntlCode, "1234567");
}

TEST_F(ExchangeTest, ListValuesReadBackAsTheirEditFieldShowsThem) {
    OpenForm();
    form->Fields().LocCode[0] = "1";
    form->ExchangeFields(Exchange::Show);
    ASSERT_EQ(ReadBackMessage(), "");
    EXPECT_EQ(form->Fields().LocCode[0], "10");
}

TEST_F(ExchangeTest, NullCoordinatesAndGroupCountOfAStoredStationShowEmpty) {
    db.Exec("insert into SITE (STA, NINDEX, NGROUPS, LAT, LON, ELEV) values ('NUL', 3, NULL, NULL, NULL, NULL)");
    OpenForm("NUL");
    EXPECT_TRUE(port.Messages().empty()) << MessageTexts();
    EXPECT_EQ(port.Text(ctl::Latitude), "");
    EXPECT_EQ(port.Text(ctl::Longitude), "");
    EXPECT_EQ(port.Text(ctl::Elevation), "");
    EXPECT_EQ(port.Text(ctl::GroupCount), "");
    EXPECT_EQ(port.Text(ctl::DbNumber), "3");
    // Saving them is refused until the operator fills them in.
    EXPECT_EQ(ReadBackMessage(), "Please enter a number.");
    EXPECT_EQ(port.Focus().id, ctl::Elevation);
}

TEST_F(ExchangeTest, AStoredStationShowsItsValues) {
    db.Exec("insert into SITE (STA, NINDEX, NGROUPS, LAT, LON, ELEV, COD, DESCR) values "
            "('KIV', 12, 2, 43.9562, 42.6888, 1054.5, 'II', 'Кисловодск')");
    OpenForm("KIV");
    EXPECT_TRUE(port.Messages().empty()) << MessageTexts();
    EXPECT_EQ(port.Text(ctl::StationCode), "KIV");
    EXPECT_EQ(port.Text(ctl::Latitude), "43.9562");
    EXPECT_EQ(port.Text(ctl::Longitude), "42.6888");
    EXPECT_EQ(port.Text(ctl::Elevation), "1054.5");
    EXPECT_EQ(port.Text(ctl::DbNumber), "12");
    EXPECT_EQ(port.Text(ctl::GroupCount), "2");
    EXPECT_EQ(port.Text(ctl::IntlCode), "II");
    EXPECT_EQ(port.Text(ctl::NameRu), "Кисловодск");
    EXPECT_FALSE(port.IsEnabled(ctl::ChanName(6)));
    EXPECT_TRUE(port.IsEnabled(ctl::ChanName(5)));
}

}  // namespace
