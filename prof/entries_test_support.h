// Helpers for tests of the profiler: entries made in place and loaded into
// profiles of the tests' own.
#pragma once

#include "comparison.h"
#include "history_report.h"
#include "load.h"
#include "merge.h"
#include "order.h"
#include "print.h"
#include "report.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace test_support {

// An entry with its counters in file order; the name is kept for the run.
inline ProfileEntry makeEntry(const std::string& name, std::uint32_t calls,
                              std::uint32_t matched, std::uint32_t cycles,
                              std::uint32_t backtracks, std::uint32_t time,
                              std::uint32_t treeNodes, std::uint32_t kidCells) {
    static std::deque<std::string> names;
    names.push_back(name);
    ProfileEntry entry{};
    entry.name = names.back().c_str();
    entry.calls = calls;
    entry.matched = matched;
    entry.cycles = cycles;
    entry.backtracks = backtracks;
    entry.time = time;
    entry.treeNodes = treeNodes;
    entry.kidCells = kidCells;
    return entry;
}

// A profile that holds these entries, as if loaded in this order, and in
// that order for the report.
inline std::unique_ptr<Profile> profileOf(const std::vector<ProfileEntry>& loaded) {
    auto profile = std::make_unique<Profile>();
    profile->entryCount = static_cast<std::int32_t>(loaded.size());
    for (std::size_t i = 0; i < loaded.size(); ++i) {
        profile->entries[i + 1] = loaded[i];
        profile->order[i] = static_cast<Position>(i + 1);
    }
    return profile;
}

// The names of the entries in report order.
inline std::vector<std::string> namesInOrder(const Profile& profile) {
    std::vector<std::string> names;
    for (std::int32_t k = 0; k < profile.entryCount; ++k)
        names.push_back(profile.entries[profile.order[k]].name);
    return names;
}

// A record as the stream operations read it, one call per item: the way
// loading was first written, kept to compare the block parser with.
struct StreamRecord {
    std::string name;
    std::uint32_t counters[7];
};

// TL_skipWhitespace, with a carriage return as one more blank, as loading
// takes the end of a record in a file with CRLF line ends.
inline void skipRecordEnd(std::int32_t s) {
    FILE* handle = TL_handle(s);
    for (int c; (c = getc(handle)) != EOF && c != 0xFF;) {
        if (c != ' ' && c != '\t' && c != '\n' && c != '\f' && c != '\r') {
            ungetc(c, handle);
            return;
        }
    }
}

inline std::vector<StreamRecord> loadWithStreamReads(std::int32_t s, bool parse, bool& more) {
    std::vector<StreamRecord> records;
    TL_string text;
    TL_ensureOpen(s, TL_kindTextIn);
    TL_getLine(s, text);
    more = false;
    for (std::int32_t p = 1; p <= maxEntries + 1; ++p) {
        if (TL_eof(s) || std::ferror(TL_handle(s))) break;
        if (p > maxEntries) {
            more = true;
            break;
        }
        StreamRecord record{};
        text[0] = '\0';
        TL_getToken(s, text);
        for (std::uint32_t& counter : record.counters) TL_getNat(s, counter);
        rewriteName(text, parse);
        record.name = text;
        records.push_back(record);
        skipRecordEnd(s);
    }
    return records;
}

// What put writes on standard output.
template <typename Put>
std::string putOutput(Put put) {
    char* buffer = nullptr;
    std::size_t size = 0;
    FILE* saved = TL_files[1];
    TL_files[1] = open_memstream(&buffer, &size);
    put();
    std::fclose(TL_files[1]);
    TL_files[1] = saved;
    std::string text(buffer, size);
    std::free(buffer);
    return text;
}

// What print writes on standard output for table.
inline std::string printed(const Table& table, void (*print)(const Table&) = printText) {
    return putOutput([&] { print(table); });
}

// The layouts of the printers' tests: a history's changes, and a
// comparison's tested ones, with the runs each test stands on as data
// beyond the columns shown.
inline constexpr Column handHistoryColumns[] = {{"name", Field::name, nullptr, nameWidth},
                                                {"at", Field::at, nullptr, 0},
                                                {"change_pct", Field::changePercent, nullptr, 10}};
inline constexpr Layout handHistoryLayout{handHistoryColumns, columnCount(handHistoryColumns), 0};
inline constexpr Column handTestedColumns[] = {{"name", Field::name, nullptr, nameWidth},
                                               {"change_pct", Field::changePercent, nullptr, 10},
                                               {"status", Field::status, nullptr, 0},
                                               {"old_tested", Field::oldRuns, nullptr, 0},
                                               {"new_tested", Field::newRuns, nullptr, 0}};
inline constexpr Layout handTestedLayout{handTestedColumns, columnCount(handTestedColumns), 0, 3};

// A table made by hand: rows of a name, a status and values in column
// order (after the name; "" for a blank), and optionally a point, where a
// gradual change ends, and a runs note, for the printers to print.
struct HandRow {
    std::string name, status;
    std::vector<std::string> values;
    const char* at = "";
    const char* until = nullptr;
    const char* runs = nullptr;
};
struct HandTable {
    std::vector<HandRow> rows;
    std::vector<char> pool = std::vector<char>(64 * rowTextRoom);
    Table table{};
    HandTable(const Layout& layout, std::vector<HandRow> made) : rows(std::move(made)) {
        table.layout = &layout;
        table.kind = "match";
        table.criterion = "time";
        table.fileName = "qav.rprofout";
        table.source = this;
        table.fill = [](const void* source, Rows& out) {
            HandTable& hand = *static_cast<HandTable*>(const_cast<void*>(source));
            TextPool pool{hand.pool.data(), 0};
            for (; out.next < static_cast<std::int32_t>(hand.rows.size()) && out.count < batchRows; ++out.next) {
                const HandRow& made = hand.rows[static_cast<std::size_t>(out.next)];
                Row& row = out.row[out.count++];
                beginRow(pool, row, made.name.c_str(), made.status.c_str());
                row.at = made.at;
                row.until = made.until;
                row.runs = made.runs;
                std::int32_t i = 1;
                for (const std::string& value : made.values) {
                    while (!hasText(hand.table.layout->columns[i].field)) ++i;
                    char* const p = valueRoomFor(pool);
                    std::memcpy(p, value.c_str(), value.size());
                    endValue(pool, row, i++, p + value.size());
                }
                setKey(pool, row, "");
            }
        };
    }
};

// The report of profile, as the program builds it.
inline std::unique_ptr<Report> reportOf(const Profile& profile, const Options& options) {
    auto report = std::make_unique<Report>();
    buildReport(singleRun(const_cast<Profile&>(profile)), options, *report);
    return report;
}

// The comparison of two sides, released with it.
struct ComparisonOf {
    std::unique_ptr<Comparison> comparison = std::make_unique<Comparison>();
    ComparisonOf(const Runs& old, const Runs& now, const Options& options) {
        buildComparison(old, now, options, *comparison);
    }
    ~ComparisonOf() { releaseComparison(*comparison); }
    Table table() const { return tableOf(*comparison); }
};

// Eight points of two runs, with no noise: rule "b" half as slow again at
// the newest point, "c" new at the fifth; released by the test.
struct SmallHistory {
    HistoryRuns runs;
    HistoryReport report;
    Options options;
};

inline void buildSmallHistory(SmallHistory& b) {
    b.options.format = Format::html;  // the page's table too
    static const char* const points[] = {"c1", "c2", "c3", "c4", "c5", "c6", "c7", "c8"};
    startHistory(b.runs, points, 8);
    for (std::int32_t t = 0; t < 8; ++t) {
        startPoint(b.runs, t);
        for (int r = 0; r < 2; ++r) {
            std::vector<ProfileEntry> entries = {makeEntry("a", 1, 0, 0, 0, 1000, 0, 0),
                                                 makeEntry("b", 2, 0, 0, 0, t == 7 ? 3000 : 2000, 0, 0)};
            if (t >= 4) entries.push_back(makeEntry("c", 1, 0, 0, 0, 500, 0, 0));
            addHistoryRun(b.runs, *profileOf(entries), points[t], b.options);
        }
    }
    finishHistory(b.runs);
    buildHistoryReport(b.runs, b.options, b.report);
}

// The fields of a line split at separator; blanks are no fields.
inline std::vector<std::string> fields(const std::string& line, char separator) {
    std::vector<std::string> out;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, separator);)
        if (separator != ' ' || !field.empty()) out.push_back(field);
    return out;
}

// The exchange sort itself, pass by pass, comparing whole keys.
inline void exchangeSort(std::vector<ProfileEntry>& list, const Options& options) {
    const bool parseProfile = options.parseProfile;
    auto outOfOrder = [&](const ProfileEntry& a, const ProfileEntry& b) {
        switch (options.orderBy) {
        case OrderBy::time: return a.time < b.time;
        case OrderBy::space:
            return std::uint64_t{a.treeNodes} + a.kidCells < std::uint64_t{b.treeNodes} + b.kidCells;
        case OrderBy::calls: return a.calls < b.calls;
        case OrderBy::cycles:
            return parseProfile ? a.cycles < b.cycles
                                : std::uint64_t{a.cycles} + a.backtracks <
                                      std::uint64_t{b.cycles} + b.backtracks;
        case OrderBy::efficiency:
            return parseProfile && efficiencyOf(a) > efficiencyOf(b);
        }
        return false;
    };
    const std::size_t n = list.size();
    for (std::size_t i = 0; i + 1 < n; ++i)
        for (std::size_t j = n - 1; j-- > i;)
            if (outOfOrder(list[j], list[j + 1])) std::swap(list[j], list[j + 1]);
}

}  // namespace test_support
