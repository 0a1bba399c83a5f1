// A Qt application with a menu bar, for menu search: File › New (Ctrl+N),
// File › Export › PDF and › PNG, Edit › Copy (disabled) and Edit › Paste.
// Each item, when triggered, appends its path to the file named by the first
// argument. The window's title is the second argument.
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>

int main(int argc, char** argv) {
    // Publish the widgets on the accessibility bus even where the desktop has
    // not switched accessibility on.
    qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const QString log = arguments.value(1);
    QMainWindow window;
    window.setWindowTitle(arguments.value(2, QStringLiteral("Menu Test Window")));
    window.setCentralWidget(new QPlainTextEdit(&window));
    const auto record = [log](const QString& path) {
        QFile file(log);
        if (file.open(QIODevice::Append)) file.write((path + QStringLiteral("\n")).toUtf8());
    };
    QMenu* file = window.menuBar()->addMenu(QStringLiteral("&File"));
    QAction* fresh = file->addAction(QStringLiteral("&New"));
    fresh->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    QObject::connect(fresh, &QAction::triggered, [record] { record(QStringLiteral("File/New")); });
    QMenu* exportMenu = file->addMenu(QStringLiteral("&Export"));
    QObject::connect(exportMenu->addAction(QStringLiteral("PDF")), &QAction::triggered,
                     [record] { record(QStringLiteral("File/Export/PDF")); });
    QObject::connect(exportMenu->addAction(QStringLiteral("PNG")), &QAction::triggered,
                     [record] { record(QStringLiteral("File/Export/PNG")); });
    file->addSeparator();
    QMenu* edit = window.menuBar()->addMenu(QStringLiteral("&Edit"));
    edit->addAction(QStringLiteral("Copy"))->setEnabled(false);
    QObject::connect(edit->addAction(QStringLiteral("Paste")), &QAction::triggered,
                     [record] { record(QStringLiteral("Edit/Paste")); });
    window.resize(400, 300);
    window.show();
    return app.exec();
}
