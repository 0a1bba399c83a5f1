// Reading calendars and address books: a 10 MB iCalendar file, a rule that
// never ends, and 5,000 vCards.
//   build/bench/vantrel_calendar_bench
#include "features/calendar/ICalendar.h"
#include "features/contacts/VCard.h"

#include <QCoreApplication>
#include <QDate>

#include <benchmark/benchmark.h>

namespace {

using namespace vantrel;

QByteArray hugeCalendar(const QDate& today, qsizetype bytes) {
    QByteArray text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Vantrel bench//EN\r\n";
    for (int i = 0; text.size() < bytes; ++i) {
        text += "BEGIN:VEVENT\r\nUID:e" + QByteArray::number(i) + "@bench\r\nDTSTAMP:20240101T000000Z\r\nDTSTART:" +
                today.addDays(i % 30).toString(QStringLiteral("yyyyMMdd")).toLatin1() +
                "T120000Z\r\nDURATION:PT1H\r\nSUMMARY:Generated event " + QByteArray::number(i) +
                " with some words to make the line longer\r\nLOCATION:Room " + QByteArray::number(i % 97) +
                "\r\nDESCRIPTION:A description that takes some room in the file\\, as real ones do.\r\nEND:VEVENT\r\n";
    }
    return text + "END:VCALENDAR\r\n";
}

void BM_ReadTenMegabyteCalendarForAWeek(benchmark::State& state) {
    const QDate today = QDate::currentDate();
    const QByteArray text = hugeCalendar(today, 10 * 1024 * 1024);
    const QDateTime from(today, QTime(0, 0));
    size_t events = 0;
    for (auto _ : state) {
        const CalendarContent content = ICalendarReader::read(text, QStringLiteral("huge.ics"), from, from.addDays(7));
        events = content.events.size();
        benchmark::DoNotOptimize(events);
    }
    state.counters["events"] = double(events);
    state.counters["MB"] = double(text.size()) / (1024 * 1024);
}
BENCHMARK(BM_ReadTenMegabyteCalendarForAWeek)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ExpandEveryMinuteSince2000ForOneDay(benchmark::State& state) {
    const QByteArray text =
        "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//b//EN\r\nBEGIN:VEVENT\r\nUID:m@b\r\nDTSTAMP:20000101T000000Z\r\n"
        "DTSTART:20000101T000000Z\r\nDURATION:PT30S\r\nRRULE:FREQ=MINUTELY\r\nSUMMARY:Every minute\r\nEND:VEVENT\r\n"
        "END:VCALENDAR\r\n";
    const QDateTime from(QDate::currentDate(), QTime(0, 0));
    for (auto _ : state) {
        const CalendarContent content = ICalendarReader::read(text, QStringLiteral("m.ics"), from, from.addDays(1));
        benchmark::DoNotOptimize(content.events.size());
    }
}
BENCHMARK(BM_ExpandEveryMinuteSince2000ForOneDay)->Unit(benchmark::kMillisecond);

void BM_ReadFiveThousandVCards(benchmark::State& state) {
    QByteArray text;
    for (int i = 0; i < 5000; ++i)
        text += "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Person " + QByteArray::number(i) + "\r\nN:" + QByteArray::number(i) +
                ";Person;;;\r\nEMAIL;TYPE=WORK:person" + QByteArray::number(i) +
                "@example.org\r\nTEL;TYPE=CELL:+1 555 " + QByteArray::number(1000 + i) + "\r\nORG:Company " +
                QByteArray::number(i % 50) + "\r\nEND:VCARD\r\n";
    for (auto _ : state) {
        const VCardContent content = VCardReader::read(text, QStringLiteral("many.vcf"));
        benchmark::DoNotOptimize(content.contacts.size());
    }
}
BENCHMARK(BM_ReadFiveThousandVCards)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
