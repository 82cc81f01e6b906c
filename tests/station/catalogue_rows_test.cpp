// The row tables' generic reading and setting: every column of a SITE and a
// SITECHAN row written out as text (or number) and set into an empty row
// gives the row back, NULL included.

#include <gtest/gtest.h>

#include <limits>

#include "station/catalogue_rows.h"

namespace {

// Copies every column of `from` into a default row through the helpers: a
// number column by NumberOf/SetNumber, the others by TextOf/SetText, NULL by
// SetNull.
template <typename Row>
Row CopiedByColumn(const Row& from) {
    Row to;
    for (const catalogue::RowColumn<Row>& column : catalogue::RowColumns<Row>()) {
        if (catalogue::IsNull(from, column.member)) {
            catalogue::SetNull(to, column.member);
        } else if (const std::optional<double> number = catalogue::NumberOf(from, column.member)) {
            EXPECT_TRUE(catalogue::SetNumber(to, column.member, *number)) << column.name;
        } else {
            const std::optional<std::string> text = catalogue::TextOf(from, column.member);
            EXPECT_TRUE(text && catalogue::SetText(to, column.member, *text)) << column.name;
        }
    }
    return to;
}

TEST(CatalogueRows, EveryColumnReadsAndSetsBackWithItsNulls) {
    SiteRow site{"KIV", "KIV1", 4, {43.9563}, {42.6888}, {0.1 + 0.2}, "Кисловодск", WallClock{2024, 2, 29, 23, 59, 58},
                 17, "", {NullMarker::Floating}, {-1.25}, "Kislovodsk", "", "шахта",
                 WallClock{1, 1, 1, 0, 0, 0}, std::nullopt};
    EXPECT_EQ(CopiedByColumn(site), site);
    EXPECT_EQ(catalogue::TextOf(site, catalogue::RowColumnNamed<SiteRow>("LON").member), "0.30000000000000004");
    site.NGROUPS = NullMarker::Integer;
    site.LDDATE.reset();
    EXPECT_EQ(CopiedByColumn(site), site);

    const ChannelRow channel{"KIV", "BHZ", 2, 0, {NullMarker::Floating}, {43.9563}, {42.6888}, {1e-7},
                             {0.0}, {-90.0}, "STS-2", "/resp/kiv.bhz", "00", WallClock{9999, 12, 31, 23, 59, 59}};
    EXPECT_EQ(CopiedByColumn(channel), channel);
}

TEST(CatalogueRows, TextsAndNumbersAColumnCannotHoldAreRefused) {
    const auto& ondate = catalogue::RowColumnNamed<SiteRow>("ONDATE").member;
    const auto& sta = catalogue::RowColumnNamed<SiteRow>("STA").member;
    SiteRow row;
    for (const char* text : {"2024-02-29", "2024-02-29 10:00", "2024-02-29T10:00:00", "2024-02-29 10:00:00 ", ""})
        EXPECT_FALSE(catalogue::SetText(row, ondate, text)) << text;
    EXPECT_FALSE(row.ONDATE.has_value());
    EXPECT_FALSE(catalogue::SetNumber(row, sta, 1.0));
    const auto& ngroups = catalogue::RowColumnNamed<SiteRow>("NGROUPS").member;
    for (const double number : {3e9, -3e9, std::numeric_limits<double>::quiet_NaN()})
        EXPECT_FALSE(catalogue::SetNumber(row, ngroups, number)) << number;
    EXPECT_EQ(row.NGROUPS, 0);
}

}  // namespace
