// Texts that mean something to SQL, to a driver or to printf, typed into every
// text field of the form and saved: each reads back exactly as typed and no
// other value or row changes, on every database of the run.

#include <string>
#include <vector>

#include "text/text.h"
#include "resources/control_ids.h"
#include "tests/form/ops_test_fixture.h"

namespace ops_test {
namespace {

class HostileText : public StationFormTest {
protected:
    // Runs every case through the open form, the form's sessions as `sessions` says.
    void SaveEveryCase(const char* sessions);
};

// A text field of the form and the column that stores it.
struct TextField {
    int id;
    const char* column;  // in SITE for the station, in SITECHAN for group 1's Z row
    bool siteColumn;
    std::size_t width;   // the most characters the field takes
    bool upperCase;
    bool listField;      // shown back through its list (entries may match)
};

const TextField kFields[] = {
    {ctl::NameRu, "DESCR", true, 50, false, false},
    {ctl::NameEn, "STANAME", true, 50, false, false},
    {ctl::IntlCode, "COD", true, 6, false, false},
    {ctl::CentralPoint, "REFSTA", true, 16, true, true},
    {ctl::Ground, "UNDERGROUND", true, 250, false, false},
    {ctl::ChanName(ctl::CellIndex(1, 0)), "CHAN", false, 6, true, false},
    {ctl::LocCode(1), "LCODE", false, 8, false, true},
    {ctl::SensorType(1), "DESCR", false, 8, true, false},  // as many as its box shows
};

// Each case's texts go to the fields in turn, in the order of the columns in
// the statements (the first to NameRu, the next to NameEn and so on, starting
// again after the last text); a field too narrow for its text is left as it is.
const std::vector<std::vector<std::string>> kCases = {
    {"'"}, {"\\"}, {"\\'"}, {"\\", ",ELEV=1 -- "}, {"--"}, {"/*"}, {"#"}, {"%"}, {"%n%s"}, {"_"}, {"?"},
    {"{ts '2001-01-01 00:00:00'}"}, {"{fn user()}"}, {"Почва: суглинок"}, {"🌋 вулкан"}, {"a\tb"},
};

std::string Where(const TextField& f) {
    return f.siteColumn ? " from SITE where STA='KIV'" : " from SITECHAN where STA='KIV' and NGROUP=1 and CHANINDEX=0";
}

void HostileText::SaveEveryCase(const char* sessions) {
    SCOPED_TRACE(sessions);
    const std::string untouched =
        "select STA, NINDEX, NGROUPS, ELEV, LAT, LON, DESCR, STANAME, COD, REFSTA, UNDERGROUND from SITE "
        "where STA<>'KIV' union all select STA, NINDEX, NGROUPS, ELEV, LAT, LON, '', '', '', '', '' from SITE "
        "where STA='KIV'";
    const auto before = Rows(untouched);
    const auto channelsBefore = Count("SITECHAN", "STA<>'KIV'");
    for (const auto& texts : kCases) {
        SCOPED_TRACE(texts.front());
        std::vector<std::pair<const TextField*, std::string>> typed;
        std::size_t next = 0;
        for (const TextField& f : kFields) {
            const std::string& text = texts[next++ % texts.size()];
            if (text::CharCount(text) > f.width) continue;
            ASSERT_TRUE(port.ReplaceText(f.id, text));
            typed.emplace_back(&f, f.upperCase ? text::ToUpper(text) : text);
        }
        port.PressEnter();
        ExpectNoMessages();
        port.ClearMessages();
        for (const auto& [f, expected] : typed) {
            EXPECT_EQ(Value(std::string("select ") + f->column + Where(*f)), expected) << f->column;
            if (!f->listField) {
                EXPECT_EQ(port.Text(f->id), expected) << "shown again: " << f->column;
            }
        }
        EXPECT_EQ(Rows(untouched), before);
        EXPECT_EQ(Count("SITECHAN", "STA<>'KIV'"), channelsBefore);
    }
}

TEST_F(HostileText, EveryTextFieldSavesAndReadsBackAsTypedAndNothingElseChanges) {
    AddSite("KIV", 1, 1);
    AddSite("OBN", 2, 1);
    AddChannel("KIV", "BHZ", 1, 0);
    AddChannel("OBN", "BHZ", 1, 0);
    OpenForm("KIV");
    SaveEveryCase("the program's sessions");
    // A server that refuses to read backslashes as plain characters: the
    // quoting doubles them instead.
    makeSession = [] { return std::make_unique<RefusingSession>("SET SESSION sql_mode"); };
    SaveEveryCase("sessions whose server keeps backslash escapes");
}

}  // namespace
}  // namespace ops_test
