#include "features/dictionary/ui/DictionaryView.h"

#include "features/dictionary/DictionaryEntry.h"

namespace vantrel {

namespace {

const QString kHint = QStringLiteral("Type a word in the search bar to look it up in the dictionaries.");

}  // namespace

DictionaryView::DictionaryView(DictServer server, int timeoutMs, const QString& initialWord, QWidget* parent)
    : DetailView(viewTitle, parent), m_server(std::move(server)), m_timeoutMs(timeoutMs), m_word(initialWord.simplified()) {
    m_typing.setSingleShot(true);
    m_typing.setInterval(typingPauseMs);
    connect(&m_typing, &QTimer::timeout, this, &DictionaryView::startLookup);
    if (m_word.isEmpty())
        setMarkdown(kHint);
    else
        startLookup();
}

DictionaryView::~DictionaryView() = default;

void DictionaryView::searchTextChanged(const QString& text) {
    const QString word = text.simplified();
    if (word == m_word) return;
    m_word = word;
    if (m_word.isEmpty()) {
        m_typing.stop();
        delete m_client;
        m_client = nullptr;
        m_lookingUp = false;
        setMarkdown(kHint);
        setActions({});
        return;
    }
    m_typing.start();
}

void DictionaryView::startLookup() {
    // A lookup still running is for a word that is no longer typed.
    delete m_client;
    m_client = new DictClient(m_server, m_timeoutMs, this);
    m_lookingUp = true;
    setMarkdown(QStringLiteral("Looking up “%1”…").arg(m_word.toHtmlEscaped()));
    setActions({});
    connect(m_client, &DictClient::finished, this, [this](const DictLookup& lookup) {
        m_lookingUp = false;
        show(lookup);
        emit lookupFinished();
    });
    m_client->lookup(m_word);
}

void DictionaryView::show(const DictLookup& lookup) {
    m_lookup = lookup;
    setMarkdown(dictionaryMarkdown(lookup));
    std::vector<MenuItem> actions;
    if (!lookup.definitions.empty()) {
        const QString text = dictionaryPlainText(lookup);
        actions.push_back(MenuItem::make(QStringLiteral("copy"), QStringLiteral("Copy Definition"), [text] {
            return CommandOutcome::copied(text, QStringLiteral("Copied definition"));
        }));
    }
    for (const QString& suggestion : lookup.suggestions) {
        actions.push_back(MenuItem::make(QStringLiteral("define:") + suggestion,
                                         QStringLiteral("Define “%1”").arg(suggestion), [suggestion] {
                                             return CommandOutcome::showView(QStringLiteral("dictionary_defineWord"),
                                                                             suggestion);
                                         }));
    }
    if (lookup.failed()) {
        actions.push_back(MenuItem::make(QStringLiteral("retry"), QStringLiteral("Try Again"), [this] {
            startLookup();
            return CommandOutcome::done();
        }));
    }
    setActions(std::move(actions));
}

}  // namespace vantrel
