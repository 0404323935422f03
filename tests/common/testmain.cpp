#include "testmain.h"

#include "store/datalayer.h"

#include <QApplication>
#include <QTest>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace
{
std::map<std::string, TestFactory> &registry()
{
    static std::map<std::string, TestFactory> classes;
    return classes;
}
} // namespace

TestRegistration::TestRegistration(const char *name, TestFactory factory)
{
    registry()[name] = std::move(factory);
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    // Every test class shares the data layer, which goes before the
    // application object (as in the program).
    varnel::DataLayer dataLayer;
    std::vector<char *> rest(argv, argv + argc);
    std::vector<std::string> chosen;
    if (argc > 1 && registry().count(argv[1])) {
        chosen.push_back(argv[1]);
        rest.erase(rest.begin() + 1);
    } else {
        for (const auto &entry : registry())
            chosen.push_back(entry.first);
    }
    int failures = 0;
    for (const std::string &name : chosen) {
        std::unique_ptr<QObject> test = registry()[name]();
        failures += QTest::qExec(test.get(), int(rest.size()), rest.data());
    }
    return failures == 0 ? 0 : 1;
}
