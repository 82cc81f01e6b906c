#pragma once
// The two station record sets: SITE (one row per station) and SITECHAN (one
// row per channel of a station), bound to typed fields.

#include <string>
#include <vector>

#include "db/recordset.h"

// The 17 fields of one SITE row and their bindings.
struct SiteFields {
    SiteFields();

    std::string STA;
    std::string COD;
    int NGROUPS = 0;
    double ELEV = 0.0;
    double LAT = 0.0;
    double LON = 0.0;
    std::string DESCR;
    DateTimeField LDDATE;
    int NINDEX = 0;
    std::string REFSTA;
    double DNORTH;
    double DEAST;
    std::string STANAME;
    std::string STATYPE;
    std::string UNDERGROUND;
    DateTimeField ONDATE;
    DateTimeField OFFDATE;

    // The fields in binding order (the member order differs), each column
    // named with `qualifier` before it ("SITE." in a join; "" alone).
    std::vector<FieldBinding> Bindings(const std::string& qualifier = {});
    // What a fetched row's values become: a NULL NINDEX reads 0.
    void AfterFetch();
};

// The 14 fields of one SITECHAN row and their bindings.
struct ChannelFields {
    ChannelFields();

    std::string STA;
    std::string CHAN;
    int NGROUP = 0;
    int CHANINDEX = 0;
    double EDEPH = 0.0;
    double LAT = 0.0;
    double LON = 0.0;
    double SPS = 0.0;
    double HANG = 0.0;
    double VANG = 0.0;
    std::string DESCR;
    std::string CALIBFILE;
    std::string LCODE;
    DateTimeField LDDATE;

    // The fields in binding order, each column named with `qualifier` before it.
    std::vector<FieldBinding> Bindings(const std::string& qualifier = {});
};

// Table SITE, 17 bound columns.
class CSite : public CRecordset, public SiteFields {
public:
    explicit CSite(CDatabase* session);
    ~CSite() override;

    // STA's position in the binding order.
    static constexpr std::size_t kStationCodeField = 0;

    std::string DefaultConnect() const override;
    std::string DefaultSql() const override;

protected:
    std::vector<FieldBinding> BindColumns() override { return Bindings(); }
    void AfterFetch() override { SiteFields::AfterFetch(); }
};

// Table SITECHAN, 14 bound columns.
class CSiteChan : public CRecordset, public ChannelFields {
public:
    explicit CSiteChan(CDatabase* session);
    ~CSiteChan() override;

    std::string DefaultConnect() const override;
    std::string DefaultSql() const override;

protected:
    std::vector<FieldBinding> BindColumns() override { return Bindings(); }
};
