#pragma once

// The calendar and contact files of the tests: iCalendar made at test time by
// tests/fixtures/calendar/make-calendar.py (python3-icalendar), so its dates
// follow the day the tests run on, and the committed vCards of
// tests/fixtures/contacts.
#include <QByteArray>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

#include "support/ScriptCommandTestSupport.h"

#include <gtest/gtest.h>

namespace vantrel::test {

inline QString fixturesFolder() {
    return QDir::cleanPath(sourceDirectory() + QStringLiteral("/tests/fixtures"));
}

// Runs make-calendar.py KIND [TODAY] OUT and answers OUT (empty when it failed,
// with the failure recorded).
inline QString makeCalendarFile(const QString& kind, const QString& out, const QDate& today = {}) {
    QStringList arguments{fixturesFolder() + QStringLiteral("/calendar/make-calendar.py"), kind};
    if (today.isValid()) arguments << today.toString(Qt::ISODate);
    arguments << out;
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), arguments);
    if (!python.waitForFinished(60000) || python.exitCode() != 0) {
        ADD_FAILURE() << "make-calendar.py " << kind.toStdString() << " failed: "
                      << python.readAllStandardError().toStdString();
        return {};
    }
    return out;
}

inline QByteArray makeCalendarText(const QString& kind, const QDir& folder, const QDate& today = {}) {
    const QString file = makeCalendarFile(kind, folder.filePath(kind + QStringLiteral(".ics")), today);
    QFile read(file);
    if (file.isEmpty() || !read.open(QIODevice::ReadOnly)) return {};
    return read.readAll();
}

// A calendar of about `bytes` bytes: `count` events spread over the 30 days
// from `today`, one every day at 12:00 UTC in turn.
inline QByteArray hugeCalendar(const QDate& today, qsizetype bytes, int* eventsInFirstWeek = nullptr) {
    QByteArray text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Vantrel tests//huge//EN\r\n";
    int inWeek = 0;
    for (int i = 0; text.size() < bytes; ++i) {
        const QDate day = today.addDays(i % 30);
        if (i % 30 < 7) ++inWeek;
        text += "BEGIN:VEVENT\r\nUID:huge-" + QByteArray::number(i) + "@vantrel.test\r\nDTSTAMP:20240101T000000Z\r\n" +
                "DTSTART:" + day.toString(QStringLiteral("yyyyMMdd")).toLatin1() + "T120000Z\r\nDURATION:PT1H\r\n" +
                "SUMMARY:Generated event number " + QByteArray::number(i) +
                " with some words to make the line longer\r\nLOCATION:Room " + QByteArray::number(i % 97) +
                "\r\nDESCRIPTION:A description that takes some room in the file\\, as real ones do.\r\nEND:VEVENT\r\n";
    }
    text += "END:VCALENDAR\r\n";
    if (eventsInFirstWeek) *eventsInFirstWeek = inWeek;
    return text;
}

}  // namespace vantrel::test
