#include "features/scripts/ui/CreateScriptCommandView.h"

#include "core/api/CommandOutcome.h"
#include "core/api/LauncherPresenter.h"
#include "features/scripts/ScriptCommandsService.h"
#include "kit/Logger.h"
#include "kit/VantrelError.h"
#include "platform/DesktopServices.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QSaveFile>
#include <QUrl>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace vantrel {

namespace {

using Builder = ScriptCommandTemplateBuilder;

const QString kRefreshTimeTitle = QStringLiteral("Refresh Time");

// Stable values of the template choices.
QString templateKey(Builder::Template scriptTemplate) {
    switch (scriptTemplate) {
        case Builder::Template::bash:
            return QStringLiteral("bash");
        case Builder::Template::appleScript:
            return QStringLiteral("appleScript");
        case Builder::Template::swift:
            return QStringLiteral("swift");
        case Builder::Template::python:
            return QStringLiteral("python");
        case Builder::Template::ruby:
            return QStringLiteral("ruby");
        case Builder::Template::nodeJS:
            return QStringLiteral("nodeJS");
    }
    return {};
}

QString modeTitle(ScriptCommand::RunMode mode) {
    switch (mode) {
        case ScriptCommand::RunMode::fullOutput:
            return QStringLiteral("Full Output");
        case ScriptCommand::RunMode::compact:
            return QStringLiteral("Compact");
        case ScriptCommand::RunMode::silent:
            return QStringLiteral("Silent");
        case ScriptCommand::RunMode::inline_:
            return QStringLiteral("Inline");
    }
    return {};
}

// A value that goes onto one metadata line.
QString singleLineProblem(const QVariant& value) {
    const QString text = value.toString();
    if (text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r')))
        return QStringLiteral("Use a single line");
    return {};
}

std::vector<FormView::Field> makeFields() {
    using Field = FormView::Field;
    std::vector<Field> fields;

    Field scriptTemplate;
    scriptTemplate.id = QString(CreateScriptCommandView::templateField);
    scriptTemplate.title = QStringLiteral("Template");
    scriptTemplate.type = Field::Type::dropdown;
    // Only languages that run here.
    for (const auto choice : Builder::availableTemplates())
        scriptTemplate.options.emplace_back(templateKey(choice), Builder::displayName(choice));
    scriptTemplate.defaultValue = templateKey(Builder::Template::bash);
    fields.push_back(scriptTemplate);

    Field mode;
    mode.id = QString(CreateScriptCommandView::modeField);
    mode.title = QStringLiteral("Mode");
    mode.type = Field::Type::dropdown;
    for (const auto choice : {ScriptCommand::RunMode::fullOutput, ScriptCommand::RunMode::compact,
                              ScriptCommand::RunMode::silent, ScriptCommand::RunMode::inline_})
        mode.options.emplace_back(ScriptCommand::rawValue(choice), modeTitle(choice));
    mode.defaultValue = ScriptCommand::rawValue(ScriptCommand::RunMode::fullOutput);
    fields.push_back(mode);

    Field title;
    title.id = QString(CreateScriptCommandView::titleField);
    title.title = QStringLiteral("Title");
    title.placeholder = QString(Builder::titlePlaceholder);
    title.required = true;
    title.validate = singleLineProblem;
    fields.push_back(title);

    Field refresh;
    refresh.id = QString(CreateScriptCommandView::refreshTimeField);
    refresh.title = kRefreshTimeTitle;
    refresh.type = Field::Type::dropdown;
    for (const auto interval : Builder::allRefreshIntervals())
        refresh.options.emplace_back(Builder::value(interval), Builder::label(interval));
    refresh.defaultValue = Builder::value(Builder::RefreshInterval::hour1);
    refresh.info = QStringLiteral("How often the output in root search is updated.");
    fields.push_back(refresh);

    Field packageName;
    packageName.id = QString(CreateScriptCommandView::packageNameField);
    packageName.title = QStringLiteral("Package Name");
    packageName.placeholder = QString(Builder::packageNamePlaceholder);
    packageName.validate = singleLineProblem;
    fields.push_back(packageName);

    Field author;
    author.id = QString(CreateScriptCommandView::authorField);
    author.title = QStringLiteral("Author");
    author.placeholder = QStringLiteral("Your name");
    author.validate = singleLineProblem;
    fields.push_back(author);

    Field authorURL;
    authorURL.id = QString(CreateScriptCommandView::authorURLField);
    authorURL.title = QStringLiteral("Author URL");
    authorURL.placeholder = QString(Builder::authorURLPlaceholder);
    authorURL.validate = [](const QVariant& value) {
        const QString text = value.toString().trimmed();
        if (text.isEmpty()) return QString();
        const QUrl url(text, QUrl::StrictMode);
        if (!url.isValid() || url.scheme().isEmpty() || url.host().isEmpty() || text.contains(QLatin1Char(' ')))
            return QStringLiteral("Enter a link such as %1").arg(QString(Builder::authorURLPlaceholder));
        return QString();
    };
    fields.push_back(authorURL);

    Field description;
    description.id = QString(CreateScriptCommandView::descriptionField);
    description.title = QStringLiteral("Description");
    description.placeholder = QString(Builder::descriptionPlaceholder);
    description.validate = singleLineProblem;
    fields.push_back(description);

    Field argument;
    argument.id = QString(CreateScriptCommandView::withArgumentField);
    argument.title = QStringLiteral("Argument");
    argument.type = Field::Type::checkbox;
    argument.checkboxLabel = QStringLiteral("With argument");
    argument.defaultValue = false;
    fields.push_back(argument);

    Field confirmation;
    confirmation.id = QString(CreateScriptCommandView::needsConfirmationField);
    confirmation.title = QStringLiteral("Confirmation");
    confirmation.type = Field::Type::checkbox;
    confirmation.checkboxLabel = QStringLiteral("Needs Confirmation");
    confirmation.defaultValue = false;
    fields.push_back(confirmation);

    return fields;
}

}  // namespace

CreateScriptCommandView::CreateScriptCommandView(QString directory, QWidget* parent)
    : FormView(QStringLiteral("Create Script Command"), makeFields(), parent), m_directory(std::move(directory)) {
    setObjectName(QStringLiteral("createScriptCommandView"));
    setSubmitTitle(QString(createTitle));
    setSubmitHandler([this](const QVariantMap&) { return create(m_openAfterwards); });

    MenuItem createAndOpen;
    createAndOpen.id = QStringLiteral("createAndOpenScript");
    createAndOpen.title = QString(createAndOpenTitle);
    createAndOpen.shortcuts = {KeyCombination{ModifierKeys::control | ModifierKeys::shift, KeyEquivalent(U'\r')}};
    createAndOpen.action = MenuItem::Run([this] {
        m_openAfterwards = true;
        const CommandOutcome outcome = submit();
        m_openAfterwards = false;
        return outcome;
    });
    setExtraActions({createAndOpen});

    if (auto* mode = qobject_cast<QComboBox*>(control(QString(modeField))))
        connect(mode, &QComboBox::currentIndexChanged, this, &CreateScriptCommandView::modeChanged);
    modeChanged();
}

CreateScriptCommandView::~CreateScriptCommandView() = default;

QWidget* CreateScriptCommandView::rowLabel(const QString& fieldTitle) const {
    for (QLabel* label : findChildren<QLabel*>(QStringLiteral("formLabel")))
        if (label->text() == fieldTitle) return label;
    return nullptr;
}

// The refresh time only means something for inline scripts, and inline
// scripts take no arguments.
void CreateScriptCommandView::modeChanged() {
    const bool isInline =
        values().value(QString(modeField)).toString() == ScriptCommand::rawValue(ScriptCommand::RunMode::inline_);
    if (QWidget* refresh = control(QString(refreshTimeField))) {
        if (QWidget* cell = refresh->parentWidget()) cell->setVisible(isInline);
    }
    if (QWidget* label = rowLabel(kRefreshTimeTitle)) label->setVisible(isInline);
    if (auto* argument = qobject_cast<QCheckBox*>(control(QString(withArgumentField)))) {
        argument->setEnabled(!isInline);
        argument->setToolTip(isInline ? QStringLiteral("Inline scripts take no arguments") : QString());
    }
}

bool CreateScriptCommandView::isRefreshTimeShown() const {
    const QWidget* refresh = control(QString(refreshTimeField));
    return refresh && refresh->isVisibleTo(this);
}

ScriptCommandTemplateBuilder CreateScriptCommandView::builder() const {
    const QVariantMap form = values();
    Builder result;
    const QString chosenTemplate = form.value(QString(templateField)).toString();
    for (const auto candidate : Builder::allTemplates())
        if (templateKey(candidate) == chosenTemplate) result.scriptTemplate = candidate;
    result.mode = ScriptCommand::runModeFromRawValue(form.value(QString(modeField)).toString())
                      .value_or(ScriptCommand::RunMode::fullOutput);
    const bool isInline = result.mode == ScriptCommand::RunMode::inline_;
    if (isInline) {
        const QString chosenInterval = form.value(QString(refreshTimeField)).toString();
        for (const auto interval : Builder::allRefreshIntervals())
            if (Builder::value(interval) == chosenInterval) result.refreshInterval = interval;
    }
    result.title = form.value(QString(titleField)).toString().trimmed();
    result.packageName = form.value(QString(packageNameField)).toString().trimmed();
    result.author = form.value(QString(authorField)).toString().trimmed();
    result.authorURL = form.value(QString(authorURLField)).toString().trimmed();
    result.description = form.value(QString(descriptionField)).toString().trimmed();
    result.withArgument = !isInline && form.value(QString(withArgumentField)).toBool();
    result.needsConfirmation = form.value(QString(needsConfirmationField)).toBool();
    return result;
}

QString CreateScriptCommandView::proposedFileName() const {
    Builder described = builder();
    if (described.title.isEmpty()) described.title = QString(Builder::titlePlaceholder);
    return described.proposedFileName().replace(QLatin1Char('/'), QLatin1Char('-'));
}

QString CreateScriptCommandView::proposedPath() const {
    const QString folder = m_directory.isEmpty() || !QFileInfo(m_directory).isDir() ? QDir::homePath() : m_directory;
    return QDir(folder).filePath(proposedFileName());
}

CommandOutcome CreateScriptCommandView::create(bool openAfterwards) {
    QFileDialog panel(window(), QStringLiteral("Save Script Command"), proposedPath());
    panel.setAcceptMode(QFileDialog::AcceptSave);
    panel.setFileMode(QFileDialog::AnyFile);
    panel.setFilter(panel.filter() | QDir::Hidden);
    panel.selectFile(proposedFileName());
    if (panel.exec() != QDialog::Accepted || panel.selectedFiles().isEmpty()) return CommandOutcome::done();
    return createAt(panel.selectedFiles().constFirst(), openAfterwards);
}

CommandOutcome CreateScriptCommandView::createAt(const QString& path, bool openAfterwards) {
    const auto fail = [this, &path](const QString& reason) {
        scriptCommandsLog().error(QString(failureTitle),
                                  {{QStringLiteral("path"), path}, {QStringLiteral("error"), reason}});
        if (presenter()) presenter()->showToast({Toast::Style::failure, QString(failureTitle), reason});
        return CommandOutcome::failed(QString(failureTitle), reason);
    };
    if (path.trimmed().isEmpty()) return fail(QStringLiteral("No file name was given"));
    if (QFileInfo(path).isDir()) return fail(QStringLiteral("%1 is a folder").arg(path));
    if (!QFileInfo(QFileInfo(path).absolutePath()).isDir())
        return fail(QStringLiteral("There is no folder at %1").arg(QFileInfo(path).absolutePath()));

    const QByteArray text = builder().fileText().toUtf8();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return fail(file.errorString());
    if (file.write(text) != text.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return fail(reason);
    }
    if (!file.commit()) return fail(file.errorString());
    if (::chmod(QFile::encodeName(path).constData(), 0755) != 0)
        return fail(QStringLiteral("Cannot make %1 executable: %2").arg(path, QString::fromLocal8Bit(strerror(errno))));

    scriptCommandsLog().info(QString(successTitle), {{QStringLiteral("path"), path}});
    if (presenter()) presenter()->showToast({Toast::Style::success, QString(successTitle), QFileInfo(path).fileName()});

    if (openAfterwards) {
        const QUrl url = QUrl::fromLocalFile(path);
        try {
            if (m_environment && m_environment->openUrl)
                m_environment->openUrl(url);
            else
                openOnDesktop(url);
        } catch (const std::exception& error) {
            const QString reason = VantrelError::describe(error);
            scriptCommandsLog().error("Failed to open script file",
                                      {{QStringLiteral("path"), path}, {QStringLiteral("error"), reason}});
            if (presenter())
                presenter()->showToast({Toast::Style::failure, QStringLiteral("Failed to open script file"), reason});
            return CommandOutcome::failed(QStringLiteral("Failed to open script file"), reason);
        }
    }
    return CommandOutcome::done();
}

}  // namespace vantrel
