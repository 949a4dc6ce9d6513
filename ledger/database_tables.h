// The line's database's tables as this program makes them, for the store
// and for any reader of them: velkoro_pool, one row per number claimed,
// written or spent, keyed on the number; velkoro_records, one row per
// operation with the log's columns (file_name for the log's file), seq and
// chain last; velkoro_chain_head, the chain's one head row. Only
// VARCHAR and INTEGER columns and a primary key, which PostgreSQL, MariaDB,
// SQLite and SQL Server all take. Each table is there when its probe runs;
// else it is made.
#pragma once

#include <cstddef>

// The widths of the columns below, in characters; a longer text is cut to fit.
inline constexpr size_t kSerialChars = 64;
inline constexpr size_t kStateChars = 16;
inline constexpr size_t kStationChars = 128;
inline constexpr size_t kTokenChars = 160;
inline constexpr size_t kTimeChars = 32;
inline constexpr size_t kShortChars = 32;
inline constexpr size_t kLongChars = 1000;
inline constexpr size_t kCrcChars = 8;
inline constexpr size_t kSecondsChars = 16;
inline constexpr size_t kJobChars = 160;

inline constexpr char16_t kPoolProbe[] = u"SELECT serial FROM velkoro_pool WHERE 1=0";
inline constexpr char16_t kPoolCreate[] =
    u"CREATE TABLE velkoro_pool (serial VARCHAR(64) NOT NULL PRIMARY KEY, "
    u"state VARCHAR(16) NOT NULL, station VARCHAR(128) NOT NULL, "
    u"claim_token VARCHAR(160) NOT NULL, claimed_utc VARCHAR(32) NOT NULL, "
    u"time_utc VARCHAR(32) NOT NULL, result INTEGER, message VARCHAR(1000))";
inline constexpr char16_t kRecordsProbe[] = u"SELECT result FROM velkoro_records WHERE 1=0";
inline constexpr char16_t kRecordsCreate[] =
    u"CREATE TABLE velkoro_records (time_utc VARCHAR(32), station VARCHAR(128), "
    u"tool_version VARCHAR(32), command VARCHAR(32), probe INTEGER, "
    u"firmware_before VARCHAR(32), serial VARCHAR(64), file_name VARCHAR(1000), "
    u"image_crc32 VARCHAR(8), result INTEGER NOT NULL, message VARCHAR(1000), "
    u"seconds VARCHAR(16), pool VARCHAR(16), firmware_after VARCHAR(32), job VARCHAR(160))";
// The job column came later: a table made before it gets it on first use.
inline constexpr char16_t kJobProbe[] = u"SELECT job FROM velkoro_records WHERE 1=0";
inline constexpr char16_t kJobAdd[] = u"ALTER TABLE velkoro_records ADD job VARCHAR(160)";
// The record's chain (ledger/record_chain.h) came later too: a records table
// made before it gets seq and chain on first use, and its rows from before
// stay unchained. velkoro_chain_head holds one row, the chain's last place
// and value, which every record's insert takes with a write lock first.
inline constexpr char16_t kSeqProbe[] = u"SELECT seq FROM velkoro_records WHERE 1=0";
inline constexpr char16_t kSeqAdd[] = u"ALTER TABLE velkoro_records ADD seq INTEGER";
inline constexpr char16_t kChainProbe[] = u"SELECT chain FROM velkoro_records WHERE 1=0";
inline constexpr char16_t kChainAdd[] = u"ALTER TABLE velkoro_records ADD chain VARCHAR(64)";
inline constexpr char16_t kHeadProbe[] = u"SELECT seq, chain FROM velkoro_chain_head WHERE 1=0";
inline constexpr char16_t kHeadCreate[] =
    u"CREATE TABLE velkoro_chain_head (id INTEGER NOT NULL PRIMARY KEY, seq INTEGER NOT NULL, "
    u"chain VARCHAR(64) NOT NULL)";
