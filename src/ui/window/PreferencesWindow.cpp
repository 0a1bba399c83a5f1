#include "ui/window/PreferencesWindow.h"

#include "core/commands/CommandModel.h"
#include "core/commands/PackageRegistry.h"
#include "data/SearchRepository.h"
#include "kit/Logger.h"
#include "kit/UserDefaults.h"
#include "kit/VantrelError.h"
#include "platform/DesktopServices.h"
#include "platform/Platform.h"
#include "ui/toolkit/Icons.h"
#include "ui/toolkit/KeyRecorder.h"
#include "ui/toolkit/Theme.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFontInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("Preferences"), QStringLiteral("⚙️")});
    return logger;
}

constexpr int kIconSize = 16;
constexpr int kRowHeight = 30;
constexpr QSize kSwitchSize{30, 18};
// Where the text of a cell (and of its header) starts and ends inside the column.
constexpr int kCellInset = 6;
constexpr int kSidebarMinimumWidth = 168;
constexpr int kSidebarPadding = 10;  // left and right, as the style sheet says

struct TimeoutChoice {
    int seconds;
    const char* title;
};

constexpr std::array kTimeoutChoices{
    TimeoutChoice{30, "After 30 seconds"},
    TimeoutChoice{60, "After 60 seconds"},
    TimeoutChoice{90, "After 90 seconds"},
    TimeoutChoice{180, "After 3 minutes"},
    TimeoutChoice{300, "After 5 minutes"},
    TimeoutChoice{600, "After 10 minutes"},
    TimeoutChoice{PreferencesWindow::neverPopToRoot, "Never"},
};

const std::array<const char*, 3> kPresentationModes{"Screen with mouse", "Screen with active window", "Primary screen"};

// Stored values of "vantrelAppearance", in the order of the choices.
const std::array<const char*, 3> kAppearances{"system", "light", "dark"};
const std::array<const char*, 3> kAppearanceTitles{"System", "Light", "Dark"};

QString cssColor(const QColor& color) {
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(QString::number(color.alphaF(), 'f', 3));
}

QString typeTitle(SearchRecord::ContentType type) {
    switch (type) {
        case SearchRecord::ContentType::systemApp:
            return QStringLiteral("Application");
        case SearchRecord::ContentType::prefPane:
            return QStringLiteral("Settings Panel");
        case SearchRecord::ContentType::command:
            return QStringLiteral("Command");
        case SearchRecord::ContentType::scriptCommand:
            return QStringLiteral("Script Command");
        case SearchRecord::ContentType::extensionCommand:
            return QStringLiteral("Extension Command");
        case SearchRecord::ContentType::quicklink:
            return QStringLiteral("Quicklink");
        case SearchRecord::ContentType::snippet:
            return QStringLiteral("Snippet");
        case SearchRecord::ContentType::fallbackSearch:
            return QStringLiteral("Fallback Search");
        case SearchRecord::ContentType::unknown:
            break;
    }
    return QStringLiteral("Item");
}

// What a package is: the launcher's own, or one that came from outside.
QString packageTypeTitle(const VantrelPackage& package) {
    return dynamic_cast<const BuiltinPackage*>(&package) ? QStringLiteral("Built-in") : QStringLiteral("Extension");
}

// The keycaps of a hotkey cell, laid out from `left`; returns their rectangles.
std::vector<std::pair<QString, QRectF>> keycaps(const KeyCombination& combination, const QFont& font, int left,
                                                int centerY) {
    const QFontMetrics metrics(font);
    const int capHeight = metrics.height() + 4;
    std::vector<std::pair<QString, QRectF>> caps;
    int x = left;
    for (const QString& label : KeyRecorder::keycapLabels(combination)) {
        const int capWidth = std::max(metrics.horizontalAdvance(label) + 10, capHeight);
        caps.emplace_back(label, QRectF(x, centerY - capHeight / 2.0 + 0.5, capWidth, capHeight));
        x += capWidth + 3;
    }
    return caps;
}

QPixmap recordIcon(const SearchRecord& record) {
    if (record.type == SearchRecord::ContentType::systemApp || record.type == SearchRecord::ContentType::prefPane) {
        if (record.path && record.path->endsWith(QLatin1String(".desktop"))) {
            const QString icon =
                platform().desktop ? platform().desktop->applicationIconName(*record.path, record.key) : QString();
            if (!icon.isEmpty()) return Icons::applicationIcon(icon, kIconSize);
        }
        return Icons::pixmap(ImageResource::named(QStringLiteral("application")), kIconSize);
    }
    if (record.type == SearchRecord::ContentType::scriptCommand)
        return Icons::pixmap(ImageResource::named(QStringLiteral("script")), kIconSize);
    if (record.type == SearchRecord::ContentType::quicklink)
        return Icons::pixmap(ImageResource::named(QStringLiteral("quicklinks")), kIconSize);
    if (record.type == SearchRecord::ContentType::snippet)
        return Icons::pixmap(ImageResource::named(QStringLiteral("snippets")), kIconSize);
    return Icons::pixmap(ImageResource::named(QStringLiteral("command")), kIconSize);
}

QRect switchRect(const QRect& cell) {
    return QRect(QPoint(cell.left() + kCellInset, cell.center().y() - kSwitchSize.height() / 2 + 1), kSwitchSize);
}

}  // namespace

// Paints the switches and keycaps of the extensions tree and edits aliases
// (a line edit) and hotkeys (a key recorder that starts recording at once).
class PreferencesWindow::Delegate : public QStyledItemDelegate {
public:
    explicit Delegate(PreferencesWindow* window) : QStyledItemDelegate(window), m_window(window) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& /*option*/,
                          const QModelIndex& index) const override {
        if (!index.siblingAtColumn(0).data(hasRecordRole).toBool()) return nullptr;
        if (index.column() == aliasColumn) {
            auto* edit = new QLineEdit(parent);
            edit->setFrame(false);
            edit->setPlaceholderText(QStringLiteral("Alias"));
            edit->setAccessibleName(QStringLiteral("Alias"));
            return edit;
        }
        if (index.column() == hotkeyColumn) {
            auto* recorder = new KeyRecorder(parent);
            auto* self = const_cast<Delegate*>(this);
            const auto finish = [self, recorder] {
                recorder->setProperty("vantrelCommit", true);
                emit self->commitData(recorder);
                emit self->closeEditor(recorder, QAbstractItemDelegate::NoHint);
            };
            connect(recorder, &KeyRecorder::recorded, recorder, finish);
            connect(recorder, &KeyRecorder::cleared, recorder, finish);
            connect(recorder, &KeyRecorder::cancelled, recorder,
                    [self, recorder] { emit self->closeEditor(recorder, QAbstractItemDelegate::RevertModelCache); });
            QTimer::singleShot(0, recorder, [recorder] { recorder->startRecording(); });
            return recorder;
        }
        return nullptr;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
            edit->setText(index.data(Qt::DisplayRole).toString());
            edit->selectAll();
        } else if (auto* recorder = qobject_cast<KeyRecorder*>(editor)) {
            recorder->setPersistentString(index.siblingAtColumn(0).data(hotkeyRole).toString());
        }
    }

    void setModelData(QWidget* editor, QAbstractItemModel* /*model*/, const QModelIndex& index) const override {
        const QString key = index.siblingAtColumn(0).data(keyRole).toString();
        if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
            if (edit->text().trimmed() == index.data(Qt::DisplayRole).toString()) return;
            m_window->setAlias(key, edit->text());
        } else if (auto* recorder = qobject_cast<KeyRecorder*>(editor)) {
            if (!recorder->property("vantrelCommit").toBool()) return;
            m_window->setHotkey(key, recorder->keyCombination());
        }
    }

    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& /*index*/) const override {
        editor->setGeometry(option.rect.adjusted(2, 2, -2, -2));
    }

    bool eventFilter(QObject* object, QEvent* event) override {
        // The recorder takes every key itself and closes through its signals.
        if (qobject_cast<KeyRecorder*>(object)) return false;
        return QStyledItemDelegate::eventFilter(object, event);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        if (index.column() == typeColumn) opt.font = Theme::current().smallFont;
        QSize size = QStyledItemDelegate::sizeHint(opt, index);
        size.setHeight(std::max(size.height(), kRowHeight));
        if (index.column() == enabledColumn)
            size.setWidth(std::max(size.width(), kSwitchSize.width() + 2 * kCellInset));
        return size;
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const bool isSwitch = index.column() == enabledColumn && index.data(Qt::CheckStateRole).isValid();
        const bool isHotkey = index.column() == hotkeyColumn;
        const bool isAlias = index.column() == aliasColumn;
        const bool isType = index.column() == typeColumn;
        if (!isSwitch && !isHotkey && !isAlias && !isType) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        opt.text.clear();
        opt.features &= ~QStyleOptionViewItem::HasCheckIndicator;
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

        const Theme& theme = Theme::current();
        const bool hasRecord = index.siblingAtColumn(0).data(hasRecordRole).toBool();
        const bool hot = (option.state & QStyle::State_Selected) || (option.state & QStyle::State_MouseOver);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        if (isType) {
            // What a row is reads as a quiet note next to its name.
            const QRect cell = option.rect.adjusted(kCellInset, 0, -kCellInset, 0);
            painter->setFont(theme.smallFont);
            painter->setPen(theme.secondaryText);
            painter->drawText(cell, Qt::AlignVCenter | Qt::AlignLeft,
                              QFontMetrics(theme.smallFont)
                                  .elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, cell.width()));
        } else if (isSwitch) {
            const bool on = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
            bool dimmed = false;
            if (index.parent().isValid()) {
                const QVariant parentState = index.parent().siblingAtColumn(enabledColumn).data(Qt::CheckStateRole);
                dimmed = parentState.isValid() && parentState.toInt() != Qt::Checked;
            }
            const QRectF track = switchRect(option.rect);
            painter->setOpacity(dimmed ? 0.4 : 1.0);
            painter->setPen(Qt::NoPen);
            painter->setBrush(on ? theme.accent : theme.fieldBorder);
            painter->drawRoundedRect(track, track.height() / 2, track.height() / 2);
            const qreal knob = track.height() - 4;
            const QRectF knobRect(on ? track.right() - 2 - knob : track.left() + 2, track.top() + 2, knob, knob);
            painter->setBrush(Qt::white);
            painter->drawEllipse(knobRect);
        } else if (isHotkey && hasRecord) {
            const auto combination =
                KeyCombination::fromPersistentString(index.siblingAtColumn(0).data(hotkeyRole).toString());
            const QRect cell = option.rect.adjusted(kCellInset, 0, -kCellInset, 0);
            if (combination) {
                painter->setFont(theme.smallFont);
                for (const auto& [label, cap] :
                     keycaps(*combination, theme.smallFont, cell.left(), cell.center().y())) {
                    painter->setPen(Qt::NoPen);
                    painter->setBrush(theme.keycapBackground);
                    painter->drawRoundedRect(cap, 4, 4);
                    painter->setPen(theme.keycapText);
                    painter->drawText(cap, Qt::AlignCenter, label);
                }
            } else if (hot) {
                painter->setFont(theme.smallFont);
                painter->setPen(theme.placeholderText);
                painter->drawText(cell, Qt::AlignVCenter | Qt::AlignLeft, QString(recordHotkeyPlaceholder));
            }
        } else if (isAlias && hasRecord) {
            const QString alias = index.data(Qt::DisplayRole).toString();
            const QRect cell = option.rect.adjusted(kCellInset, 0, -kCellInset, 0);
            if (!alias.isEmpty()) {
                painter->setFont(option.font);
                painter->setPen(theme.primaryText);
                painter->drawText(cell, Qt::AlignVCenter | Qt::AlignLeft, alias);
            } else if (hot) {
                painter->setFont(theme.smallFont);
                painter->setPen(theme.placeholderText);
                painter->drawText(cell, Qt::AlignVCenter | Qt::AlignLeft, QString(addAliasPlaceholder));
            }
        }
        painter->restore();
    }

    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override {
        if (index.column() != enabledColumn || !index.data(Qt::CheckStateRole).isValid())
            return QStyledItemDelegate::editorEvent(event, model, option, index);
        const auto type = event->type();
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick ||
            type == QEvent::MouseButtonRelease) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton ||
                !switchRect(option.rect).adjusted(-4, -4, 4, 4).contains(mouse->position().toPoint()))
                return false;
            if (type == QEvent::MouseButtonRelease) {
                const bool on = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
                model->setData(index, on ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
            }
            return true;
        }
        if (type == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Space) {
                const bool on = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
                model->setData(index, on ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
                return true;
            }
        }
        return false;
    }

private:
    PreferencesWindow* m_window;
};

PreferencesWindow::PreferencesWindow(PackageRegistry& registry, std::shared_ptr<SearchRepository> repository,
                                     UserDefaults& defaults, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_registry(registry),
      m_repository(std::move(repository)),
      m_defaults(defaults),
      m_validator(m_repository) {
    setWindowTitle(QStringLiteral("Vantrel Preferences"));
    setObjectName(QStringLiteral("preferencesWindow"));
    resize(820, 560);
    setMinimumSize(680, 440);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_sidebar = new QListWidget(this);
    m_sidebar->setObjectName(QStringLiteral("preferencesSidebar"));
    m_sidebar->setFixedWidth(kSidebarMinimumWidth);
    m_sidebar->setIconSize(QSize(kIconSize, kIconSize));
    m_sidebar->setFocusPolicy(Qt::NoFocus);
    m_sidebar->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_sidebar->setTextElideMode(Qt::ElideNone);
    m_sidebar->addItem(new QListWidgetItem(
        QIcon(Icons::pixmap(ImageResource::named(QStringLiteral("settings")), kIconSize)), QStringLiteral("General")));
    m_sidebar->addItem(
        new QListWidgetItem(QIcon(Icons::pixmap(ImageResource::named(QStringLiteral("extension")), kIconSize)),
                            QStringLiteral("Extensions")));
    layout->addWidget(m_sidebar);

    m_pages = new QStackedWidget(this);
    m_pages->addWidget(makeGeneralPage());
    m_pages->addWidget(makeExtensionsPage());
    layout->addWidget(m_pages, 1);

    connect(m_sidebar, &QListWidget::currentRowChanged, m_pages, &QStackedWidget::setCurrentIndex);
    m_sidebar->setCurrentRow(0);

    applyTheme();
    reload();
}

PreferencesWindow::~PreferencesWindow() = default;

void PreferencesWindow::addPage(const QString& title, const ImageResource& icon, QWidget* page) {
    m_sidebar->addItem(new QListWidgetItem(QIcon(Icons::pixmap(icon, kIconSize)), title));
    m_pages->addWidget(page);
    fitSidebar();
}

void PreferencesWindow::fitSidebar() {
    // The items' own size hints hold the style sheet's padding around icon and title.
    m_sidebar->doItemsLayout();
    int widest = 0;
    for (int row = 0; row < m_sidebar->count(); ++row)
        widest = std::max(widest, m_sidebar->sizeHintForIndex(m_sidebar->model()->index(row, 0)).width());
    // Around the items: the style sheet's padding and the border on the right,
    // as laid out once the sidebar is shown.
    const bool laidOut = m_sidebar->isVisible() && m_sidebar->viewport()->width() > 0;
    const int chrome = laidOut ? m_sidebar->width() - m_sidebar->viewport()->width() : 2 * kSidebarPadding + 1;
    m_sidebar->setFixedWidth(std::max(kSidebarMinimumWidth, widest + chrome + 8));
}

// MARK: General

QWidget* PreferencesWindow::makeGeneralPage() {
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("generalPage"));
    auto* outer = new QVBoxLayout(page);
    // The title where the other pages have theirs; the form indented under it.
    outer->setContentsMargins(20, 20, 20, 14);

    auto* title = new QLabel(QStringLiteral("General"), page);
    title->setObjectName(QStringLiteral("pageTitle"));
    outer->addWidget(title);
    outer->addSpacing(16);

    auto* form = new QFormLayout();
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->setFormAlignment(Qt::AlignLeft | Qt::AlignTop);
    form->setHorizontalSpacing(18);
    form->setVerticalSpacing(6);
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);

    const auto hint = [page](const QString& text) {
        auto* label = new QLabel(text, page);
        label->setObjectName(QStringLiteral("hint"));
        label->setWordWrap(true);
        // Wide enough for a sentence on one line, as the controls above it are.
        label->setMinimumWidth(380);
        return label;
    };
    const auto spacer = [form, page] {
        auto* gap = new QWidget(page);
        gap->setFixedHeight(10);
        form->addRow(gap);
    };

    m_hotkeyRecorder = new KeyRecorder(page);
    m_hotkeyRecorder->setObjectName(QStringLiteral("vantrelHotkey"));
    m_hotkeyRecorder->setClearable(false);
    m_hotkeyRecorder->setFixedWidth(220);
    form->addRow(QStringLiteral("Vantrel Hotkey:"), m_hotkeyRecorder);
    m_hotkeyMessage = hint(QStringLiteral("Shows and hides the launcher from anywhere."));
    form->addRow(QString(), m_hotkeyMessage);
    connect(m_hotkeyRecorder, &KeyRecorder::recorded, this, [this](const KeyCombination& combination) {
        const auto text = combination.persistentString();
        if (!text) {
            log().error("Couldn't convert hotkey to peristentString: " + combination.displayText());
            m_hotkeyRecorder->showMessage(QStringLiteral("Failed to process the hotkey"));
            return;
        }
        if (changeGlobalHotkey) {
            const QString refusal = changeGlobalHotkey(combination);
            if (!refusal.isEmpty()) {
                // The hotkey in place stays; the field says why.
                const QVariant kept = m_defaults.value(QString(globalHotkeyKey));
                m_hotkeyRecorder->setPersistentString(kept.isValid() ? kept.toString() : QStringLiteral("Option-49"));
                m_hotkeyRecorder->showMessage(refusal);
                return;
            }
        } else {
            m_defaults.setValue(QString(globalHotkeyKey), *text);
        }
        log().info("Vantrel hotkey changed", {{QStringLiteral("hotkey"), *text}});
    });
    spacer();

    m_timeoutBox = new QComboBox(page);
    m_timeoutBox->setObjectName(QStringLiteral("popToRootTimeout"));
    for (const TimeoutChoice& choice : kTimeoutChoices)
        m_timeoutBox->addItem(QString::fromLatin1(choice.title), choice.seconds);
    m_timeoutBox->setMinimumWidth(220);
    m_timeoutBox->setMinimumHeight(28);
    form->addRow(QStringLiteral("Pop to Root Search:"), m_timeoutBox);
    form->addRow(QString(), hint(QStringLiteral("Go back to root search when the window was hidden this long.")));
    connect(m_timeoutBox, &QComboBox::activated, this, [this](int index) {
        m_defaults.setValue(QString(popToRootTimeoutKey), m_timeoutBox->itemData(index).toInt());
    });
    spacer();

    m_presentationBox = new QComboBox(page);
    m_presentationBox->setObjectName(QStringLiteral("windowPresentationMode"));
    for (int mode = 0; mode < int(kPresentationModes.size()); ++mode)
        m_presentationBox->addItem(QString::fromLatin1(kPresentationModes[size_t(mode)]), mode);
    m_presentationBox->setMinimumWidth(220);
    m_presentationBox->setMinimumHeight(28);
    form->addRow(QStringLiteral("Show Window On:"), m_presentationBox);
    connect(m_presentationBox, &QComboBox::activated, this, [this](int index) {
        m_defaults.setValue(QString(windowPresentationModeKey), m_presentationBox->itemData(index).toInt());
    });
    spacer();

    m_loginBox = new QCheckBox(QStringLiteral("Launch Vantrel at login"), page);
    m_loginBox->setObjectName(QStringLiteral("launchAtLogin"));
    form->addRow(QStringLiteral("Startup:"), m_loginBox);
    connect(m_loginBox, &QCheckBox::clicked, this, [this](bool checked) {
        if (!setLaunchAtLogin) return;
        try {
            setLaunchAtLogin(checked);
        } catch (const std::exception& error) {
            log().error("Failed to change the login item", {{QStringLiteral("error"), VantrelError::describe(error)}});
        }
        if (launchAtLogin) m_loginBox->setChecked(launchAtLogin());
    });
    spacer();

    m_calculatorHintBox = new QCheckBox(QStringLiteral("Show the answer in the search bar"), page);
    m_calculatorHintBox->setObjectName(QStringLiteral("calculatorHint"));
    form->addRow(QStringLiteral("Calculator:"), m_calculatorHintBox);
    connect(m_calculatorHintBox, &QCheckBox::clicked, this,
            [this](bool checked) { m_defaults.setValue(QString(calculatorHintKey), checked); });
    spacer();

    m_appearanceBox = new QComboBox(page);
    m_appearanceBox->setObjectName(QStringLiteral("appearance"));
    for (size_t i = 0; i < kAppearances.size(); ++i)
        m_appearanceBox->addItem(QString::fromLatin1(kAppearanceTitles[i]), QString::fromLatin1(kAppearances[i]));
    m_appearanceBox->setMinimumWidth(220);
    m_appearanceBox->setMinimumHeight(28);
    form->addRow(QStringLiteral("Appearance:"), m_appearanceBox);
    connect(m_appearanceBox, &QComboBox::activated, this, &PreferencesWindow::storeAppearance);

    form->setContentsMargins(20, 0, 0, 0);
    outer->addLayout(form);
    outer->addStretch(1);
    return page;
}

void PreferencesWindow::reloadGeneral() {
    const QVariant hotkey = m_defaults.value(QString(globalHotkeyKey));
    m_hotkeyRecorder->setPersistentString(hotkey.isValid() ? hotkey.toString() : QStringLiteral("Option-49"));

    const QVariant timeoutValue = m_defaults.value(QString(popToRootTimeoutKey));
    bool ok = false;
    int timeout = timeoutValue.toInt(&ok);
    if (!timeoutValue.isValid() || !ok || timeout < 0) timeout = defaultPopToRootTimeout;
    // A value written elsewhere stays selectable as it is.
    while (m_timeoutBox->count() > int(kTimeoutChoices.size())) m_timeoutBox->removeItem(m_timeoutBox->count() - 1);
    int timeoutIndex = m_timeoutBox->findData(timeout);
    if (timeoutIndex < 0) {
        m_timeoutBox->addItem(QStringLiteral("After %1 seconds").arg(timeout), timeout);
        timeoutIndex = m_timeoutBox->count() - 1;
    }
    m_timeoutBox->setCurrentIndex(timeoutIndex);

    const int mode = m_defaults.value(QString(windowPresentationModeKey)).toInt();
    m_presentationBox->setCurrentIndex(mode >= 0 && mode < m_presentationBox->count() ? mode : 0);

    m_loginBox->setEnabled(bool(setLaunchAtLogin));
    m_loginBox->setChecked(launchAtLogin ? launchAtLogin() : false);
    m_calculatorHintBox->setChecked(m_defaults.value(QString(calculatorHintKey)).toBool());

    const QString appearance = m_defaults.value(QString(appearanceKey)).toString();
    const int appearanceIndex = m_appearanceBox->findData(appearance);
    m_appearanceBox->setCurrentIndex(appearanceIndex >= 0 ? appearanceIndex : 0);
}

void PreferencesWindow::storeAppearance(int index) {
    const QString value = m_appearanceBox->itemData(index).toString();
    m_defaults.setValue(QString(appearanceKey), value);
    if (value == QLatin1String("dark"))
        Theme::setCurrent(Theme::Appearance::dark);
    else if (value == QLatin1String("light"))
        Theme::setCurrent(Theme::Appearance::light);
    else
        Theme::setCurrent(Theme::desktopAppearance());
    applyTheme();
}

// MARK: Extensions

QWidget* PreferencesWindow::makeExtensionsPage() {
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("extensionsPage"));
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(20, 20, 20, 14);
    layout->setSpacing(10);

    auto* header = new QHBoxLayout();
    auto* title = new QLabel(QStringLiteral("Extensions"), page);
    title->setObjectName(QStringLiteral("pageTitle"));
    header->addWidget(title);
    header->addStretch(1);
    m_searchField = new QLineEdit(page);
    m_searchField->setObjectName(QStringLiteral("extensionsSearch"));
    m_searchField->setPlaceholderText(QStringLiteral("Search…"));
    m_searchField->setClearButtonEnabled(true);
    m_searchField->setFixedWidth(240);
    header->addWidget(m_searchField);
    layout->addLayout(header);

    m_tree = new QTreeWidget(page);
    m_tree->setObjectName(QStringLiteral("extensionsTree"));
    m_tree->setColumnCount(columnCount);
    m_tree->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Type"), QStringLiteral("Alias"),
                             QStringLiteral("Hotkey"), QStringLiteral("Enabled")});
    m_tree->setIconSize(QSize(kIconSize, kIconSize));
    m_tree->setUniformRowHeights(true);
    m_tree->setAllColumnsShowFocus(true);
    m_tree->setMouseTracking(true);
    m_tree->setRootIsDecorated(true);
    m_tree->setIndentation(16);
    m_tree->setEditTriggers(QAbstractItemView::EditKeyPressed);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tree->header()->setStretchLastSection(false);
    m_tree->header()->setSectionResizeMode(nameColumn, QHeaderView::Stretch);
    m_tree->header()->setSectionResizeMode(typeColumn, QHeaderView::Fixed);
    m_tree->header()->setSectionResizeMode(aliasColumn, QHeaderView::Fixed);
    m_tree->header()->setSectionResizeMode(hotkeyColumn, QHeaderView::Fixed);
    m_tree->header()->setSectionResizeMode(enabledColumn, QHeaderView::Fixed);
    m_tree->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_tree->header()->setSectionsClickable(false);
    m_tree->setTextElideMode(Qt::ElideRight);
    m_delegate = new Delegate(this);
    m_tree->setItemDelegate(m_delegate);

    // The table and, over it when the search field matches nothing, the sentence that says so.
    auto* tableArea = new QGridLayout();
    tableArea->setContentsMargins(0, 0, 0, 0);
    tableArea->addWidget(m_tree, 0, 0);
    m_noMatchesLabel = new QLabel(page);
    m_noMatchesLabel->setObjectName(QStringLiteral("extensionsNoMatches"));
    m_noMatchesLabel->setAlignment(Qt::AlignCenter);
    m_noMatchesLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_noMatchesLabel->setVisible(false);
    tableArea->addWidget(m_noMatchesLabel, 0, 0, Qt::AlignCenter);
    layout->addLayout(tableArea, 1);

    m_messageLabel = new QLabel(page);
    m_messageLabel->setObjectName(QStringLiteral("extensionsMessage"));
    m_messageLabel->setWordWrap(true);
    m_messageLabel->setVisible(false);
    layout->addWidget(m_messageLabel);

    connect(m_searchField, &QLineEdit::textChanged, this, &PreferencesWindow::applyFilter);
    connect(m_tree, &QTreeWidget::itemChanged, this, &PreferencesWindow::treeItemChanged);
    connect(m_tree, &QTreeWidget::itemClicked, this, &PreferencesWindow::treeItemClicked);
    return page;
}

void PreferencesWindow::reloadExtensions() {
    m_populating = true;
    const QString selectedKey = m_tree->currentItem() ? m_tree->currentItem()->data(0, keyRole).toString() : QString();
    QHash<QString, bool> expanded;
    for (auto it = m_items.cbegin(); it != m_items.cend(); ++it)
        if (it.value()->childCount() > 0) expanded.insert(it.key(), it.value()->isExpanded());
    m_tree->clear();
    m_items.clear();

    // The stored rows, by key (an installed row wins over an uninstalled one).
    std::map<QString, SearchRecord> records;
    try {
        for (SearchRecord& record : m_repository->readAllSearchResults({}, 1000000)) {
            const QString key = record.key;
            records.insert_or_assign(key, std::move(record));
        }
    } catch (const std::exception& error) {
        log().error("Failed to read search records for preferences",
                    {{QStringLiteral("error"), VantrelError::describe(error)}});
    }

    const auto fillRecord = [](QTreeWidgetItem* row, const SearchRecord* record) {
        row->setData(0, hasRecordRole, record != nullptr);
        if (!record) return;
        row->setText(aliasColumn, record->alias.value_or(QString()));
        row->setData(0, hotkeyRole, record->hotkey.value_or(QString()));
        if (record->hotkey)
            if (const auto combination = KeyCombination::fromPersistentString(*record->hotkey))
                row->setToolTip(hotkeyColumn, combination->displayText());
        row->setFlags(row->flags() | Qt::ItemIsEditable);
    };

    const auto addRecordRow = [&](QTreeWidgetItem* parent, const SearchRecord& record) {
        auto* row = new QTreeWidgetItem(parent);
        row->setText(nameColumn, record.name);
        row->setIcon(nameColumn, QIcon(recordIcon(record)));
        row->setText(typeColumn, typeTitle(record.type));
        row->setData(0, rowKindRole, int(RowKind::record));
        row->setData(0, keyRole, record.key);
        if (record.path) row->setToolTip(nameColumn, *record.path);
        fillRecord(row, &record);
        m_items.insert(record.key, row);
        return row;
    };

    const bool showAll = m_registry.developmentFlag();
    QSet<QString> shown;
    for (const auto& package : m_registry.packages()) {
        if (package->isHiddenInPreferences() || package->displayName().isEmpty()) continue;
        const QString packageId = package->id().rawValue;
        auto* packageRow = new QTreeWidgetItem(m_tree);
        packageRow->setText(nameColumn, package->displayName());
        packageRow->setToolTip(nameColumn, package->description());
        const ImageResource packageImage = package->icon() ? package->icon()->small : ImageResource::named(packageId);
        packageRow->setIcon(nameColumn, QIcon(Icons::pixmap(packageImage, kIconSize)));
        packageRow->setText(typeColumn, packageTypeTitle(*package));
        packageRow->setData(0, rowKindRole, int(RowKind::package));
        packageRow->setData(0, keyRole, packageId);
        packageRow->setData(0, hasRecordRole, false);
        packageRow->setFlags(packageRow->flags() | Qt::ItemIsUserCheckable);
        packageRow->setCheckState(enabledColumn,
                                  m_registry.isPackageEnabled(package->id()) ? Qt::Checked : Qt::Unchecked);
        QFont bold = packageRow->font(nameColumn);
        bold.setWeight(QFont::DemiBold);
        packageRow->setFont(nameColumn, bold);
        m_items.insert(QStringLiteral("package:") + packageId, packageRow);

        for (const auto& command : package->commands()) {
            if (!showAll && command->visibility() != VantrelCommandVisibility::public_) continue;
            const QString commandId = command->id().rawValue;
            auto* row = new QTreeWidgetItem(packageRow);
            row->setText(nameColumn, command->displayName());
            row->setToolTip(nameColumn, command->description());
            const ImageResource image = command->icon() ? command->icon()->small : packageImage;
            row->setIcon(nameColumn, QIcon(Icons::pixmap(image, kIconSize)));
            row->setText(typeColumn, QStringLiteral("Command"));
            row->setData(0, rowKindRole, int(RowKind::command));
            row->setData(0, keyRole, commandId);
            row->setData(0, packageIdRole, packageId);
            row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
            row->setCheckState(enabledColumn, m_registry.isEnabled(*command) ? Qt::Checked : Qt::Unchecked);
            const auto record = records.find(commandId);
            fillRecord(row, record == records.end() ? nullptr : &record->second);
            m_items.insert(commandId, row);
            shown.insert(commandId);
        }
        // Script commands, quicklinks and snippets come as search records of their own.
        const auto ownKind = packageId == QLatin1String("scriptCommands") ? SearchRecord::ContentType::scriptCommand
                             : packageId == QLatin1String("quicklinks")   ? SearchRecord::ContentType::quicklink
                             : packageId == QLatin1String("snippets")     ? SearchRecord::ContentType::snippet
                                                                          : SearchRecord::ContentType::unknown;
        if (ownKind != SearchRecord::ContentType::unknown) {
            std::vector<const SearchRecord*> own;
            for (const auto& [key, record] : records)
                if (record.type == ownKind && !record.uninstalled && !shown.contains(key)) own.push_back(&record);
            std::sort(own.begin(), own.end(), [](const SearchRecord* a, const SearchRecord* b) {
                return a->name.localeAwareCompare(b->name) < 0;
            });
            for (const SearchRecord* record : own) {
                addRecordRow(packageRow, *record);
                shown.insert(record->key);
            }
        }
        packageRow->setExpanded(expanded.value(QStringLiteral("package:") + packageId, false));
    }

    // Applications, settings panels and other records in groups of their own.
    struct Group {
        QString title;
        QString icon;
        QList<SearchRecord::ContentType> types;
    };
    const std::array groups{
        Group{QStringLiteral("Applications"),
              QStringLiteral("application"),
              {SearchRecord::ContentType::systemApp, SearchRecord::ContentType::prefPane}},
        Group{QStringLiteral("Script Commands"), QStringLiteral("script"), {SearchRecord::ContentType::scriptCommand}},
        Group{QStringLiteral("Extension Commands"),
              QStringLiteral("extension"),
              {SearchRecord::ContentType::extensionCommand}},
        Group{QStringLiteral("Quicklinks"), QStringLiteral("quicklinks"), {SearchRecord::ContentType::quicklink}},
    };
    for (const Group& group : groups) {
        std::vector<const SearchRecord*> members;
        for (const auto& [key, record] : records)
            if (group.types.contains(record.type) && !record.uninstalled && !shown.contains(key))
                members.push_back(&record);
        if (members.empty()) continue;
        std::sort(members.begin(), members.end(),
                  [](const SearchRecord* a, const SearchRecord* b) { return a->name.localeAwareCompare(b->name) < 0; });
        auto* groupRow = new QTreeWidgetItem(m_tree);
        groupRow->setText(nameColumn, group.title);
        groupRow->setIcon(nameColumn, QIcon(Icons::pixmap(ImageResource::named(group.icon), kIconSize)));
        groupRow->setText(typeColumn, QStringLiteral("%1 items").arg(members.size()));
        groupRow->setData(0, rowKindRole, int(RowKind::group));
        groupRow->setData(0, keyRole, QStringLiteral("group:") + group.title);
        groupRow->setData(0, hasRecordRole, false);
        QFont bold = groupRow->font(nameColumn);
        bold.setWeight(QFont::DemiBold);
        groupRow->setFont(nameColumn, bold);
        m_items.insert(QStringLiteral("group:") + group.title, groupRow);
        for (const SearchRecord* record : members) {
            addRecordRow(groupRow, *record);
            shown.insert(record->key);
        }
        groupRow->setExpanded(expanded.value(QStringLiteral("group:") + group.title, false));
    }

    m_populating = false;
    if (QTreeWidgetItem* selected = item(selectedKey)) m_tree->setCurrentItem(selected);
    applyFilter(m_searchField->text());
    fitColumns();
}

void PreferencesWindow::fitColumns() {
    const Theme& theme = Theme::current();
    QHeaderView* header = m_tree->header();
    // Header titles are drawn in the style sheet's weight, between its padding.
    QFont headerFont = header->font();
    headerFont.setWeight(QFont::DemiBold);
    const QFontMetrics headerMetrics(headerFont);
    const QFontMetrics small(theme.smallFont);
    const QFontMetrics cell(m_tree->font());
    std::array<int, columnCount> widths{};
    for (int column = 0; column < columnCount; ++column)
        widths[size_t(column)] =
            std::max(header->sectionSizeHint(column),
                     headerMetrics.horizontalAdvance(m_tree->headerItem()->text(column)) + 2 * kCellInset + 4);

    // The widest cell of each fixed column, as the delegate draws it.
    const auto widen = [&widths](int column, int width) {
        widths[size_t(column)] = std::max(widths[size_t(column)], width + 2 * kCellInset + 4);
    };
    widen(aliasColumn, small.horizontalAdvance(QString(addAliasPlaceholder)));
    widen(hotkeyColumn, small.horizontalAdvance(QString(recordHotkeyPlaceholder)));
    widen(enabledColumn, kSwitchSize.width());
    for (QTreeWidgetItemIterator it(m_tree); *it; ++it) {
        const QTreeWidgetItem* row = *it;
        widen(typeColumn, small.horizontalAdvance(row->text(typeColumn)));
        widen(aliasColumn, cell.horizontalAdvance(row->text(aliasColumn)));
        if (const auto combination = KeyCombination::fromPersistentString(row->data(0, hotkeyRole).toString())) {
            const auto caps = keycaps(*combination, theme.smallFont, 0, 0);
            if (!caps.empty()) widen(hotkeyColumn, int(std::ceil(caps.back().second.right())));
        }
    }
    for (const int column : {typeColumn, aliasColumn, hotkeyColumn, enabledColumn})
        header->resizeSection(column, widths[size_t(column)]);
    // The name takes the rest, but never less than its title needs.
    header->setMinimumSectionSize(widths[size_t(nameColumn)]);
}

QTreeWidgetItem* PreferencesWindow::item(const QString& key) const {
    if (key.isEmpty()) return nullptr;
    if (QTreeWidgetItem* row = m_items.value(key)) return row;
    return m_items.value(QStringLiteral("package:") + key);
}

void PreferencesWindow::refreshSwitches() {
    m_populating = true;
    const auto disabled = m_registry.packageDisabledCommands();
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* top = m_tree->topLevelItem(i);
        if (RowKind(top->data(0, rowKindRole).toInt()) != RowKind::package) continue;
        const PackageIdentifier packageId(top->data(0, keyRole).toString());
        top->setCheckState(enabledColumn, m_registry.isPackageEnabled(packageId) ? Qt::Checked : Qt::Unchecked);
        const bool packageEnabled = m_registry.isPackageEnabled(packageId);
        const auto packageDisabled = disabled.value(packageId);
        for (int c = 0; c < top->childCount(); ++c) {
            QTreeWidgetItem* child = top->child(c);
            if (RowKind(child->data(0, rowKindRole).toInt()) != RowKind::command) continue;
            const CommandIdentifier commandId(child->data(0, keyRole).toString());
            const bool on = packageEnabled && !packageDisabled.contains(commandId);
            child->setCheckState(enabledColumn, on ? Qt::Checked : Qt::Unchecked);
        }
    }
    m_populating = false;
    m_tree->viewport()->update();
}

void PreferencesWindow::applyFilter(const QString& text) {
    const QString needle = text.trimmed();
    const auto matches = [&needle](const QTreeWidgetItem* row) {
        return row->text(nameColumn).contains(needle, Qt::CaseInsensitive) ||
               row->text(aliasColumn).compare(needle, Qt::CaseInsensitive) == 0 ||
               row->data(0, keyRole).toString().contains(needle, Qt::CaseInsensitive);
    };
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* top = m_tree->topLevelItem(i);
        if (needle.isEmpty()) {
            top->setHidden(false);
            for (int c = 0; c < top->childCount(); ++c) top->child(c)->setHidden(false);
            continue;
        }
        const bool topMatches = matches(top);
        bool anyChild = false;
        for (int c = 0; c < top->childCount(); ++c) {
            QTreeWidgetItem* child = top->child(c);
            const bool childMatches = topMatches || matches(child);
            child->setHidden(!childMatches);
            anyChild = anyChild || childMatches;
        }
        top->setHidden(!topMatches && !anyChild);
        if (anyChild && !topMatches) top->setExpanded(true);
    }

    bool anyShown = needle.isEmpty();
    for (int i = 0; !anyShown && i < m_tree->topLevelItemCount(); ++i) anyShown = !m_tree->topLevelItem(i)->isHidden();
    m_noMatchesLabel->setText(anyShown ? QString() : QStringLiteral("No matches for '%1'").arg(needle));
    m_noMatchesLabel->setVisible(!anyShown);
    m_noMatchesLabel->raise();
}

QString PreferencesWindow::noMatchesText() const {
    return m_noMatchesLabel->isHidden() ? QString() : m_noMatchesLabel->text();
}

void PreferencesWindow::showExtensionsMessage(const QString& message) {
    m_messageLabel->setText(message);
    m_messageLabel->setVisible(!message.isEmpty());
}

QString PreferencesWindow::extensionsMessage() const {
    return m_messageLabel->text();
}

void PreferencesWindow::treeItemChanged(QTreeWidgetItem* row, int column) {
    if (m_populating || column != enabledColumn) return;
    const bool on = row->checkState(enabledColumn) == Qt::Checked;
    const QString key = row->data(0, keyRole).toString();
    switch (RowKind(row->data(0, rowKindRole).toInt())) {
        case RowKind::package:
            setPackageEnabled(key, on);
            break;
        case RowKind::command:
            setCommandEnabled(key, on);
            break;
        default:
            break;
    }
}

void PreferencesWindow::treeItemClicked(QTreeWidgetItem* row, int column) {
    if ((column == aliasColumn || column == hotkeyColumn) && row->data(0, hasRecordRole).toBool())
        m_tree->editItem(row, column);
}

bool PreferencesWindow::setPackageEnabled(const QString& packageId, bool enabled) {
    const PackageIdentifier id(packageId);
    if (!m_registry.package(id)) return false;
    const bool written = m_registry.setPackageEnabled(id, enabled);
    if (!written) showExtensionsMessage(QStringLiteral("Failed to save the change"));
    refreshSwitches();
    return written;
}

bool PreferencesWindow::setCommandEnabled(const QString& commandId, bool enabled) {
    const auto command = m_registry.command(CommandIdentifier(commandId));
    if (!command) return false;
    const PackageIdentifier packageId = command->packageId();
    const auto package = m_registry.package(packageId);
    QStringList siblings;
    if (package)
        for (const auto& sibling : package->commands()) siblings << sibling->id().rawValue;

    const bool written = m_registry.setPackageConfiguration(packageId, [&](QVariantMap& payload, bool& isEnabled) {
        const QString key(PackageRegistry::disabledCommandsKey);
        QStringList disabled = payload.value(key).toStringList();
        if (enabled) {
            disabled.removeAll(commandId);
            if (!isEnabled) {
                // Switching on one command of a package that is off turns
                // the package on with only that command.
                isEnabled = true;
                for (const QString& sibling : siblings)
                    if (sibling != commandId && !disabled.contains(sibling)) disabled << sibling;
            }
        } else if (!disabled.contains(commandId)) {
            disabled << commandId;
        }
        if (disabled.isEmpty())
            payload.remove(key);
        else
            payload.insert(key, disabled);
    });
    if (!written) showExtensionsMessage(QStringLiteral("Failed to save the change"));
    refreshSwitches();
    return written;
}

bool PreferencesWindow::setAlias(const QString& key, const QString& alias) {
    const auto record = m_repository->record(key);
    if (!record) {
        showExtensionsMessage(QStringLiteral("Couldn't find record in the database"));
        return false;
    }
    try {
        const SearchRecord stored = m_validator.updateAlias(*record, alias);
        showExtensionsMessage(QString());
        if (QTreeWidgetItem* row = m_items.value(key)) {
            m_populating = true;
            row->setText(aliasColumn, stored.alias.value_or(QString()));
            m_populating = false;
        }
        return true;
    } catch (const std::exception& error) {
        showExtensionsMessage(VantrelError::describe(error));
        return false;
    }
}

bool PreferencesWindow::setHotkey(const QString& key, const std::optional<KeyCombination>& hotkey) {
    const auto record = m_repository->record(key);
    if (!record) {
        showExtensionsMessage(QStringLiteral("Couldn't find record in the database"));
        return false;
    }
    try {
        const SearchRecord stored = m_validator.updateHotkey(*record, hotkey);
        showExtensionsMessage(QString());
        if (QTreeWidgetItem* row = m_items.value(key)) {
            m_populating = true;
            row->setData(0, hotkeyRole, stored.hotkey.value_or(QString()));
            const auto combination =
                stored.hotkey ? KeyCombination::fromPersistentString(*stored.hotkey) : std::nullopt;
            row->setToolTip(hotkeyColumn, combination ? combination->displayText() : QString());
            m_populating = false;
            m_tree->viewport()->update();
        }
        return true;
    } catch (const std::exception& error) {
        showExtensionsMessage(VantrelError::describe(error));
        return false;
    }
}

// MARK: Pages

bool PreferencesWindow::showPage(const QString& commandId) {
    setPage(Page::extensions);
    if (!m_searchField->text().isEmpty()) m_searchField->clear();
    QTreeWidgetItem* row = item(commandId);
    if (!row) return false;
    for (QTreeWidgetItem* parent = row->parent(); parent; parent = parent->parent()) parent->setExpanded(true);
    m_tree->setCurrentItem(row);
    m_tree->scrollToItem(row, QAbstractItemView::PositionAtCenter);
    m_tree->setFocus(Qt::OtherFocusReason);
    return true;
}

bool PreferencesWindow::showPageTitled(const QString& title) {
    for (int row = 0; row < m_sidebar->count(); ++row) {
        if (m_sidebar->item(row)->text() != title) continue;
        m_sidebar->setCurrentRow(row);
        return true;
    }
    return false;
}

void PreferencesWindow::setPage(Page page) {
    m_sidebar->setCurrentRow(page == Page::general ? 0 : 1);
}

PreferencesWindow::Page PreferencesWindow::currentPage() const {
    return m_pages->currentIndex() == 0 ? Page::general : Page::extensions;
}

void PreferencesWindow::reload() {
    reloadGeneral();
    reloadExtensions();
}

void PreferencesWindow::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) reload();
    QWidget::showEvent(event);
    // The style sheet's sizes are known once the window is polished.
    QTimer::singleShot(0, this, [this] { fitSidebar(); });
}

void PreferencesWindow::applyTheme() {
    const Theme& theme = Theme::current();
    setPalette(theme.palette());
    setAutoFillBackground(true);
    setFont(theme.baseFont);

    const QString style =
        QStringLiteral(R"(
#preferencesWindow { background: %1; }
QListWidget#preferencesSidebar { background: %2; border: none; border-right: 1px solid %3; padding: 14px 10px; outline: 0; }
QListWidget#preferencesSidebar::item { color: %4; padding: 7px 10px; margin: 1px 0; border-radius: 6px; }
QListWidget#preferencesSidebar::item:selected { background: %5; color: %4; }
QListWidget#preferencesSidebar::item:hover:!selected { background: %6; }
#generalPage QLabel { color: %4; }
QLabel#pageTitle { color: %4; font-size: %7px; font-weight: 600; }
QLabel#hint { color: %8; font-size: %9px; }
QLabel#extensionsMessage { color: %10; font-size: %9px; }
QLabel#extensionsNoMatches { color: %8; background: transparent; }
QLineEdit#extensionsSearch { background: %11; border: 1px solid %12; border-radius: 6px; padding: 4px 8px; color: %4; }
QLineEdit#extensionsSearch:focus { border: 1px solid %13; }
QTreeWidget#extensionsTree { background: %1; alternate-background-color: %1; border: 1px solid %3; border-radius: 8px; color: %4; outline: 0; }
QTreeWidget#extensionsTree::item { height: 30px; }
QTreeWidget#extensionsTree::item:selected { background: %5; color: %4; }
QTreeWidget#extensionsTree::item:hover:!selected { background: %6; }
QTreeWidget#extensionsTree QLineEdit { background: %11; border: 1px solid %13; border-radius: 4px; padding: 0 4px; color: %4; }
QComboBox QAbstractItemView { background: %1; color: %4; border: 1px solid %3; selection-background-color: %5; selection-color: %4; outline: 0; }
QCheckBox { color: %4; spacing: 8px; }
QCheckBox:disabled { color: %8; }
QTreeWidget#extensionsTree QScrollBar:vertical { background: transparent; width: 10px; margin: 4px 2px 4px 0; }
QTreeWidget#extensionsTree QScrollBar::handle:vertical { background: %12; border-radius: 4px; min-height: 30px; }
QTreeWidget#extensionsTree QScrollBar::add-line:vertical, QTreeWidget#extensionsTree QScrollBar::sub-line:vertical { height: 0; }
QTreeWidget#extensionsTree QScrollBar::add-page:vertical, QTreeWidget#extensionsTree QScrollBar::sub-page:vertical { background: transparent; }
QHeaderView::section { background: %1; color: %8; border: none; border-bottom: 1px solid %3; padding: 6px %14px; font-weight: 600; }
)")
            .arg(cssColor(theme.windowBackground), cssColor(theme.barBackground), cssColor(theme.separator),
                 cssColor(theme.primaryText), cssColor(theme.selectionBackground), cssColor(theme.hoverBackground))
            .arg(qRound(QFontInfo(theme.baseFont).pixelSize() * 1.45))
            .arg(cssColor(theme.secondaryText))
            .arg(QFontInfo(theme.smallFont).pixelSize())
            .arg(cssColor(theme.failure), cssColor(theme.fieldBackground), cssColor(theme.fieldBorder),
                 cssColor(theme.accent))
            .arg(kCellInset);
    setStyleSheet(style);
    for (QWidget* child : findChildren<QWidget*>())
        if (qobject_cast<QComboBox*>(child) || qobject_cast<QCheckBox*>(child)) child->setPalette(theme.palette());
    // The pages of other parts of the launcher restyle themselves.
    for (int index = 2; index < m_pages->count(); ++index) {
        QWidget* page = m_pages->widget(index);
        if (page->metaObject()->indexOfMethod("applyTheme()") >= 0)
            QMetaObject::invokeMethod(page, "applyTheme", Qt::DirectConnection);
    }
    fitSidebar();
    fitColumns();
    update();
}

}  // namespace vantrel
