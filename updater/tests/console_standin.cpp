// Stands in for the console in the updater's whole-program tests: notes each
// start in "console-started" of its current folder, then waits to be ended.

#include <fstream>
#include <unistd.h>

int main() {
    std::ofstream("console-started", std::ios::app) << getpid() << "\n";
    while (true) {
        pause();
    }
}
