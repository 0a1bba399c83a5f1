#include <QCoreApplication>
#include <cstdio>
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::printf("vantrel %s\n", VANTREL_VERSION);
    return 0;
}
