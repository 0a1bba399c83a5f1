#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <vector>

namespace vantrel {

// The desktop's store of calendars, task lists and address books (the one
// GNOME and its online accounts fill). Everything travels as the standard
// texts: iCalendar for events and tasks, vCard for contacts, so the features
// read the store and the user's own files with the same code.
//
// Every call blocks until the store answers: call it off the main thread in
// the launcher. Failures throw VantrelError with a sentence for the user.
class PersonalDataStore {
public:
    enum class Kind { events, tasks, contacts };
    struct Collection {
        QString uid;
        QString name;
        Kind kind = Kind::events;
        bool writable = false;
        // The user's default calendar, task list or address book.
        bool isDefault = false;
    };

    virtual ~PersonalDataStore() = default;

    // Empty when the store can be used; otherwise a whole sentence saying
    // why not and how to make it work (the store is not installed, no
    // session bus…). Never throws.
    virtual QString problem() = 0;
    // The enabled collections of one kind, the default one first.
    virtual std::vector<Collection> collections(Kind kind) = 0;
    // One VCALENDAR text with the events of a calendar that touch [from, to)
    // (recurring ones as their master and overrides) and the VTIMEZONEs they use.
    virtual QByteArray events(const QString& collectionUid, const QDateTime& from, const QDateTime& to) = 0;
    // One VCALENDAR text with every task of a task list.
    virtual QByteArray tasks(const QString& collectionUid) = 0;
    // Creates or replaces (by UID) one component: a VEVENT or VTODO text.
    virtual void saveComponent(const QString& collectionUid, const QByteArray& component) = 0;
    // The vCards of an address book whose any field contains `query` (all
    // of them for an empty query).
    virtual QList<QByteArray> contacts(const QString& collectionUid, const QString& query) = 0;
    // Adds a local collection of the kind; returns its uid.
    virtual QString createCollection(Kind kind, const QString& name) = 0;
    // Writes a vCard into an address book (a new contact).
    virtual void saveContact(const QString& collectionUid, const QByteArray& vcard) = 0;
};

}  // namespace vantrel
