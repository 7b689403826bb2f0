// quellomir-gui-bench: what a user waits for in the window, on the offscreen platform.
//   quellomir-gui-bench fill [ROWS]                    a plan of ROWS rows into the result list
//   quellomir-gui-bench responsiveness DIR1 DIR2       the window's longest wait during a compare run

#include <QApplication>

#include <cstdio>
#include <cstring>

int runPlanFill(int argc, char** argv);
int runResponsiveness(int argc, char** argv);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "fill") == 0) return runPlanFill(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "responsiveness") == 0) return runResponsiveness(argc, argv);
    std::fprintf(stderr, "usage: quellomir-gui-bench fill [ROWS] | responsiveness DIR1 DIR2\n");
    return 2;
}
