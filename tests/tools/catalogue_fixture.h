#pragma once
// The demo catalogue on the backend of the run, for the tests of the
// catalogue programs.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "db/session.h"
#include "tests/support/query_rows.h"

// Opens a session on the current backend and loads the demo stations into
// freshly created tables; with `nullableKeys` SITECHAN is created without
// NOT NULL on its key columns, as some catalogues have it.
class CatalogueFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void LoadDemo(bool nullableKeys = false);
    void Execute(const std::vector<std::string>& statements);
    // Creates the AFFILIATION table holding `rows` (NET, STA), dropped again
    // when the test ends.
    void CreateAffiliation(const std::vector<std::pair<std::string, std::string>>& rows);
    void TearDown() override;

    // Every row of SITE and SITECHAN, every column, in key order: what a run
    // that must not write is compared on.
    std::vector<TextRow> StoredCatalogue() const;

    // The folder of the sample response files in the source tree.
    static std::string ResponseFiles();

    CDatabase session_;

private:
    bool affiliation_ = false;
};
