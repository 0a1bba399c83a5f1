// A window with one text field, for tests that paste into "the application
// the user came from": it takes the focus when shown and writes the field's
// text to the file named by its argument after every change.
//   vantrel_test_text_window OUTPUT_FILE [TITLE]
#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QSaveFile>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() < 2) return 2;
    const QString output = arguments.at(1);
    QPlainTextEdit editor;
    editor.setWindowTitle(arguments.value(2, QStringLiteral("Vantrel Paste Target")));
    editor.resize(400, 200);
    QObject::connect(&editor, &QPlainTextEdit::textChanged, [&] {
        QSaveFile file(output);
        if (!file.open(QIODevice::WriteOnly)) return;
        file.write(editor.toPlainText().toUtf8());
        file.commit();
    });
    editor.show();
    editor.activateWindow();
    editor.setFocus();
    return QApplication::exec();
}
