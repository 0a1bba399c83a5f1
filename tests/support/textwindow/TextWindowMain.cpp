// A window with one text field, for tests that type or paste into "the
// application the user came from": it takes the focus when shown and writes
// the field's text to the file named by its argument after every change.
// With --password the field is a password field (one line, its text hidden),
// which the accessibility bus reports with the role "password text" when the
// window is exposed there (QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1).
//   vantrel_test_text_window OUTPUT_FILE [TITLE] [--password]
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSaveFile>

namespace {

void save(const QString& output, const QString& text) {
    QSaveFile file(output);
    if (!file.open(QIODevice::WriteOnly)) return;
    file.write(text.toUtf8());
    file.commit();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QStringList arguments = QApplication::arguments();
    const bool password = arguments.removeAll(QStringLiteral("--password")) > 0;
    if (arguments.size() < 2) return 2;
    const QString output = arguments.at(1);
    const QString title = arguments.value(2, QStringLiteral("Vantrel Paste Target"));
    QWidget* field = nullptr;
    if (password) {
        auto* line = new QLineEdit;
        line->setEchoMode(QLineEdit::Password);
        QObject::connect(line, &QLineEdit::textChanged, [output](const QString& text) { save(output, text); });
        field = line;
    } else {
        auto* editor = new QPlainTextEdit;
        QObject::connect(editor, &QPlainTextEdit::textChanged, [output, editor] { save(output, editor->toPlainText()); });
        field = editor;
    }
    field->setWindowTitle(title);
    field->resize(400, 200);
    field->show();
    field->activateWindow();
    field->setFocus();
    const int status = QApplication::exec();
    delete field;
    return status;
}
