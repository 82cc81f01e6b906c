-- Station catalogue tables in their shape before the program's schema upgrade.
-- The upgrade adds the site's number, codes, names, dates and array offsets,
-- the channel location code and the extra FILELIST, ORIGIN and ARRIVAL columns.
-- One statement per ';', no comments inside a statement.
-- Texts compare case-sensitively (binary collation), as on the other databases.

CREATE TABLE SITE (
    STA VARCHAR(8) NOT NULL,
    NGROUPS INTEGER,
    ELEV DOUBLE,
    LAT DOUBLE,
    LON DOUBLE,
    DESCR VARCHAR(1024),
    LDDATE DATETIME,
    PRIMARY KEY (STA)
) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin;

CREATE TABLE SITECHAN (
    STA VARCHAR(8) NOT NULL,
    CHAN VARCHAR(8) NOT NULL,
    NGROUP INTEGER NOT NULL,
    CHANINDEX INTEGER NOT NULL,
    EDEPH DOUBLE,
    LAT DOUBLE,
    LON DOUBLE,
    SPS DOUBLE,
    HANG DOUBLE,
    VANG DOUBLE,
    DESCR VARCHAR(50),
    CALIBFILE VARCHAR(1024),
    LDDATE DATETIME,
    PRIMARY KEY (STA, CHAN, NGROUP, CHANINDEX)
) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin;

CREATE TABLE FILELIST (
    FILEID INTEGER NOT NULL,
    STA VARCHAR(8),
    CHAN VARCHAR(8),
    TIME DOUBLE,
    ENDTIME DOUBLE,
    SAMPRATE DOUBLE,
    DIR VARCHAR(255),
    DFILE VARCHAR(64),
    LDDATE DATETIME,
    PRIMARY KEY (FILEID)
) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin;

CREATE TABLE ORIGIN (
    LAT DOUBLE,
    LON DOUBLE,
    DEPTH DOUBLE,
    TIME DOUBLE,
    NASS INTEGER,
    NDEF INTEGER,
    ETYPE VARCHAR(7),
    AUTH VARCHAR(15),
    LDDATE DATETIME
) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin;

CREATE TABLE ARRIVAL (
    STA VARCHAR(8),
    TIME DOUBLE,
    CHAN VARCHAR(8),
    IPHASE VARCHAR(8),
    AZIMUTH DOUBLE,
    SLOW DOUBLE,
    AMP DOUBLE,
    PER DOUBLE,
    SNR DOUBLE,
    AUTH VARCHAR(15),
    LDDATE DATETIME
) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin;
