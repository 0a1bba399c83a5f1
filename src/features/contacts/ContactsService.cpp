#include "features/contacts/ContactsService.h"

#include "kit/VantrelError.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>

namespace vantrel {

ContactsService::ContactsService(ContactsSettings settings, std::shared_ptr<PersonalDataStore> store)
    : m_settings(std::move(settings)), m_store(std::move(store)) {}

std::optional<QString> ContactsService::normalizeSource(const QString& path, QString* problem) {
    QString source = path.trimmed();
    if (source.startsWith(QLatin1String("file://"))) source = QUrl(source).toLocalFile();
    if (source.startsWith(QLatin1String("~/"))) source = QDir::homePath() + source.mid(1);
    const QFileInfo info(source);
    if (source.isEmpty() || !info.exists()) {
        if (problem) *problem = QStringLiteral("'%1' is not an existing vCard file or folder.").arg(path);
        return std::nullopt;
    }
    return info.absoluteFilePath();
}

QString ContactsService::desktopProblem() const {
    if (!m_settings.useDesktopAddressBooks) return QStringLiteral("The desktop's address books are switched off.");
    if (!m_store) return QStringLiteral("This desktop has no address book store.");
    return m_store->problem();
}

ContactSearch ContactsService::search(const QString& query) const {
    ContactSearch result;
    auto readFile = [&](const QString& path) {
        QFile file(path);
        if (file.size() > VCardReader::maxTextBytes) {
            result.notes << QStringLiteral("%1: the file is too large to read.").arg(path);
            return;
        }
        if (!file.open(QIODevice::ReadOnly)) {
            result.notes << QStringLiteral("%1: %2.").arg(path, file.errorString());
            return;
        }
        VCardContent content = VCardReader::read(file.readAll(), path);
        result.notes += content.problems;
        for (Contact& contact : content.contacts)
            if (contact.matches(query)) result.contacts.push_back(std::move(contact));
    };
    for (const QString& source : m_settings.sources) {
        const QFileInfo info(source);
        if (!info.exists()) {
            result.notes << QStringLiteral("%1: the file or folder does not exist.").arg(source);
        } else if (info.isDir()) {
            QDirIterator files(source, {QStringLiteral("*.vcf"), QStringLiteral("*.vcard"), QStringLiteral("*.VCF")},
                               QDir::Files | QDir::Readable, QDirIterator::Subdirectories);
            int count = 0;
            while (files.hasNext()) {
                if (++count > maxFilesPerFolder) {
                    result.notes << QStringLiteral("%1: only the first %2 files were read.").arg(source).arg(maxFilesPerFolder);
                    break;
                }
                readFile(files.next());
            }
        } else {
            readFile(source);
        }
    }
    if (m_settings.useDesktopAddressBooks && m_store) {
        const QString problem = m_store->problem();
        if (!problem.isEmpty()) {
            result.notes << problem;
        } else {
            try {
                for (const auto& book : m_store->collections(PersonalDataStore::Kind::contacts)) {
                    try {
                        for (const QByteArray& card : m_store->contacts(book.uid, query.simplified().section(QLatin1Char(' '), 0, 0))) {
                            VCardContent content = VCardReader::read(card, book.name);
                            result.notes += content.problems;
                            for (Contact& contact : content.contacts)
                                if (contact.matches(query)) result.contacts.push_back(std::move(contact));
                        }
                    } catch (const std::exception& failure) {
                        result.notes << book.name + QStringLiteral(": ") + VantrelError::describe(failure);
                    }
                }
            } catch (const std::exception& failure) {
                result.notes << VantrelError::describe(failure);
            }
        }
    }
    std::stable_sort(result.contacts.begin(), result.contacts.end(), [](const Contact& a, const Contact& b) {
        return QString::localeAwareCompare(a.name, b.name) < 0;
    });
    return result;
}

}  // namespace vantrel
