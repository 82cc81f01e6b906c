// Ctrl+Z in the form on every database of the run: it takes back the
// window's saves and deletes, newest first, through the journal's restore,
// and only when the focused field has no typing of its own to undo.

#include "resources/control_ids.h"
#include "resources/string_table.h"
#include "station/station_journal.h"
#include "tests/form/ops_test_fixture.h"

namespace ops_test {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

class StationUndo : public StationFormTest {
protected:
    // A journal of this test's own, gone afterwards so that later suites
    // find the database as they made it.
    void SetUp() override {
        StationFormTest::SetUp();
        journal_.emplace(*admin, "STATION_JOURNAL");
        ForgetJournalState();
        const JournalState journal = EnsureJournalTable(*admin);
        ASSERT_TRUE(journal.available) << journal.reason;
    }
    void TearDown() override {
        form.reset();
        journal_.reset();
        ForgetJournalState();
        StationFormTest::TearDown();
    }
    // KIV with two channels, loaded in the form.
    void OpenOnKiv() {
        AddSite("KIV", 1, 1);
        Exec("update SITE set STANAME='Kiev', DESCR='Киев' where STA='KIV'");
        AddChannel("KIV", "BHZ", 1, 0, 20, "sts2.resp", "00", "STS-2");
        AddChannel("KIV", "BHN", 1, 1, 20);
        OpenForm("KIV");
    }
    // Every row of both tables, every column, in a fixed order.
    std::vector<std::vector<TextRow>> Catalogue() const {
        return {Rows("select * from SITE order by STA"),
                Rows("select * from SITECHAN order by STA, NGROUP, CHANINDEX, CHAN")};
    }
    // Types the English name, saves with Enter, and moves to the station
    // box: the name field keeps its typing, which Ctrl+Z would take first.
    void Save(const std::string& nameEn) {
        port.ReplaceText(ctl::NameEn, nameEn);
        port.PressEnter();
        port.FocusAndSelectAll(ctl::StationCode);
    }

public:
    // The changes a window makes, for the table of cases.
    void SaveOver() { Save("changed"); }
    void Delete() {
        port.QueueAnswer(platform::Answer::Ok);
        port.Press(ctl::Delete);
    }
    void Create() {
        port.ReplaceText(ctl::StationCode, "new");
        Save("New station");
    }

protected:
    // Ctrl+Z with the question answered `answer`; the question's text.
    std::string Undo(platform::Answer answer = platform::Answer::Ok) {
        port.ClearMessages();
        port.QueueAnswer(answer);
        port.PressUndo();
        return port.Messages().empty() ? std::string() : port.Messages().front().text;
    }

    std::optional<TableDropGuard> journal_;
};

struct ChangeCase {
    const char* name;
    void (StationUndo::*change)();
    const char* question;  // how the question begins
    const char* shownCode;  // the station the form shows after the undo
};

void PrintTo(const ChangeCase& c, std::ostream* out) { *out << c.name; }

class UndoingOneChange : public StationUndo, public ::testing::WithParamInterface<ChangeCase> {};

TEST_P(UndoingOneChange, BringsBothTablesBackRowByRowAndLoadsTheStation) {
    const ChangeCase& c = GetParam();
    OpenOnKiv();
    const auto before = Catalogue();
    (this->*c.change)();
    ASSERT_NE(Catalogue(), before) << "the change wrote nothing";

    const std::string question = Undo();
    EXPECT_THAT(question, StartsWith(c.question));
    EXPECT_EQ(port.Messages().size(), 1u);
    EXPECT_EQ(Catalogue(), before);
    EXPECT_EQ(Text(ctl::StationCode), c.shownCode);
    EXPECT_EQ(Text(ctl::NameEn), std::string(c.shownCode) == "KIV" ? "Kiev" : "");
}

INSTANTIATE_TEST_SUITE_P(
    Changes, UndoingOneChange,
    ::testing::Values(ChangeCase{"save", &StationUndo::SaveOver, "Отменить сохранение станции KIV", "KIV"},
                      ChangeCase{"delete", &StationUndo::Delete, "Отменить удаление станции KIV", "KIV"},
                      ChangeCase{"creation", &StationUndo::Create, "Отменить создание станции NEW", "NEW"}));

TEST_F(StationUndo, RepeatedItWalksBackThroughTheWindowsChangesThenOffersNothing) {
    OpenOnKiv();
    const auto original = Catalogue();
    Save("one");
    Save("two");
    EXPECT_THAT(Undo(), HasSubstr("KIV"));
    EXPECT_EQ(Value("select STANAME from SITE where STA='KIV'"), "one");
    EXPECT_EQ(Text(ctl::NameEn), "one");
    EXPECT_THAT(Undo(), HasSubstr("KIV"));
    EXPECT_EQ(Catalogue(), original);
    Undo();
    ExpectNoMessages();
}

TEST_F(StationUndo, AStationChangedByAnotherWriterSinceIsRestoredOnlyAfterASecondQuestion) {
    OpenOnKiv();
    Save("ours");
    Exec("update SITE set STANAME='theirs' where STA='KIV'");
    port.QueueAnswer(platform::Answer::Ok);
    EXPECT_THAT(Undo(platform::Answer::Cancel), StartsWith("Отменить сохранение станции KIV"));
    ASSERT_EQ(port.Messages().size(), 2u);
    EXPECT_EQ(port.Messages()[1].text, FormatString(str::UndoChangedQuestion, "KIV"));
    EXPECT_EQ(Value("select STANAME from SITE where STA='KIV'"), "theirs");
}

TEST_F(StationUndo, TypingInTheFocusedFieldIsUndoneFirstAndACancelledQuestionKeepsTheChange) {
    OpenOnKiv();
    const auto original = Catalogue();
    Save("saved");
    const auto saved = Catalogue();
    port.ReplaceText(ctl::NameRu, "набрано");

    port.PressUndo();
    ExpectNoMessages();  // the field's typing goes first
    EXPECT_EQ(Text(ctl::NameRu), "Киев");
    EXPECT_THAT(Undo(platform::Answer::Cancel), StartsWith("Отменить сохранение станции KIV"));
    EXPECT_EQ(Catalogue(), saved);
    EXPECT_THAT(Undo(), StartsWith("Отменить сохранение станции KIV"));
    EXPECT_EQ(Catalogue(), original);
}

}  // namespace
}  // namespace ops_test
