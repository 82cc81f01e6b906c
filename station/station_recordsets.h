#pragma once
// The two station record sets: SITE (one row per station) and SITECHAN (one
// row per channel of a station), bound to the members of SiteRow and
// ChannelRow as their tables in catalogue_rows.h name them.

#include <string>
#include <vector>

#include "db/recordset.h"
#include "station/station_snapshot.h"

// Every column of the row's table bound to its member of `row`, in the
// table's order, each column named with `qualifier` before it ("SITE." in a
// join; "" alone).
std::vector<FieldBinding> RowBindings(SiteRow& row, const std::string& qualifier = {});
std::vector<FieldBinding> RowBindings(ChannelRow& row, const std::string& qualifier = {});

// What a fetched SITE row's values become: a NULL NINDEX reads 0.
void AfterSiteFetch(SiteRow& row);

// Table SITE, 17 bound columns.
class CSite : public CRecordset, public SiteRow {
public:
    explicit CSite(CDatabase* session);
    ~CSite() override;

    // STA's position in the binding order.
    static constexpr std::size_t kStationCodeField = 0;

    std::string DefaultConnect() const override;
    std::string DefaultSql() const override;

protected:
    std::vector<FieldBinding> BindColumns() override { return RowBindings(*this); }
    void AfterFetch() override { AfterSiteFetch(*this); }
};

// Table SITECHAN, 14 bound columns.
class CSiteChan : public CRecordset, public ChannelRow {
public:
    explicit CSiteChan(CDatabase* session);
    ~CSiteChan() override;

    std::string DefaultConnect() const override;
    std::string DefaultSql() const override;

protected:
    std::vector<FieldBinding> BindColumns() override { return RowBindings(*this); }
};
