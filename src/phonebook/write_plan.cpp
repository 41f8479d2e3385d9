#include "phonebook/write_plan.h"

#include <algorithm>

namespace puolukka {

namespace {

// The read leaves the status word after each record; RecordToEntry expects it.
const std::string kStatusOk("\x90\x00", 2);

}  // namespace

bool sameEntry(const std::string& a, const std::string& b)
{
    const EntryFields x = splitEntry(a);
    const EntryFields y = splitEntry(b);
    return unpaddedName(x.name) == unpaddedName(y.name) && x.ton == y.ton && x.number == y.number
           && x.separators == y.separators;
}

WritePlan planWrite(const Phonebook& book, const std::vector<std::string>& card, int recLen)
{
    WritePlan plan;
    const int cardCount = std::max(0, int(card.size()) - 1);
    plan.covered = std::min({book.PBCount, cardCount, int(book.PBEntry.size()) - 1});
    plan.covered = std::max(plan.covered, 0);
    plan.records.assign(std::size_t(plan.covered) + 1, std::string());
    int warning = 1;  // the first non-empty entry decides the record-length warning
    for (int i = 1; i <= plan.covered; ++i) {
        const std::string& entry = book.PBEntry[std::size_t(i)];
        const std::string& now = card[std::size_t(i)];
        std::string& record = plan.records[std::size_t(i)];
        if (std::string problem = entryProblem(entry); !problem.empty()) {
            plan.skipped.push_back({i, std::move(problem)});
            record = now;
            continue;
        }
        RecLenNotice notice = RecLenNotice::None;
        record = EntryToRecord(entry, recLen, warning, &notice);
        record.resize(std::size_t(std::max(recLen, 0)), kAdnPadding);  // the card takes exactly P3 bytes
        if (notice != RecLenNotice::None)
            plan.notice = notice;
        if (int(now.size()) == recLen && sameEntry(RecordToEntry(now + kStatusOk), entry))
            record = now;
        if (record != now)
            plan.changed.push_back(i);
    }
    return plan;
}

}  // namespace puolukka
