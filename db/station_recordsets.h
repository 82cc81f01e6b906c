#pragma once
// The two station record sets: SITE (one row per station) and SITECHAN (one
// row per channel of a station), bound to typed fields.

#include <string>
#include <vector>

#include "db/recordset.h"

// Table SITE, 17 bound columns.
class CSite : public CRecordset {
public:
    explicit CSite(CDatabase* session);
    ~CSite() override;

    // STA's position in the binding order.
    static constexpr std::size_t kStationCodeField = 0;

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

    std::string DefaultConnect() const override;
    std::string DefaultSql() const override;

protected:
    std::vector<FieldBinding> BindColumns() override;
    void AfterFetch() override;  // a NULL NINDEX reads 0
};

// Table SITECHAN, 14 bound columns.
class CSiteChan : public CRecordset {
public:
    explicit CSiteChan(CDatabase* session);
    ~CSiteChan() override;

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

    std::string DefaultConnect() const override;
    std::string DefaultSql() const override;

protected:
    std::vector<FieldBinding> BindColumns() override;
};
