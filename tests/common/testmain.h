#pragma once

#include <QObject>

#include <functional>
#include <memory>

// Each area's tests form one program; each test class registers itself with
// VARNEL_TEST_CLASS and ctest runs the program once per class:
//     tst_<area> <ClassName> [QTest options]
// Without a class name the program runs every class.
using TestFactory = std::function<std::unique_ptr<QObject>()>;

struct TestRegistration {
    TestRegistration(const char *name, TestFactory factory);
};

#define VARNEL_TEST_CLASS(Class)                                                                   \
    static const TestRegistration registration_##Class(                                            \
        #Class, []() -> std::unique_ptr<QObject> { return std::make_unique<Class>(); })
