#pragma once

#include "features/dictionary/DictClient.h"
#include "ui/toolkit/DetailView.h"

#include <QTimer>

namespace vantrel {

// "Define Word": the search bar holds the word; the page shows its entry
// (part of speech, senses, every dictionary that answered) or, for a word no
// dictionary has, the server's suggestions, each an action that looks it up.
class DictionaryView : public DetailView {
    Q_OBJECT

public:
    inline static const QString viewTitle = QStringLiteral("Define Word");
    // How long typing pauses before the word is looked up.
    static constexpr int typingPauseMs = 250;

    DictionaryView(DictServer server, int timeoutMs, const QString& initialWord, QWidget* parent = nullptr);
    ~DictionaryView() override;

    bool usesSearchBar() const override { return true; }
    QString searchPlaceholder() const override { return QStringLiteral("Type a word to define…"); }
    QString searchText() const override { return m_word; }
    void searchTextChanged(const QString& text) override;

    // The last lookup that finished (empty word before the first).
    const DictLookup& lookup() const { return m_lookup; }
    bool isLookingUp() const { return m_lookingUp; }

signals:
    void lookupFinished();

private:
    void startLookup();
    void show(const DictLookup& lookup);

    DictServer m_server;
    int m_timeoutMs;
    QString m_word;
    QTimer m_typing;
    DictClient* m_client = nullptr;
    DictLookup m_lookup;
    bool m_lookingUp = false;
};

}  // namespace vantrel
