// Helpers shared by the C++ tests.
#pragma once

#include <gtest/gtest.h>

#include <exception>
#include <string>

// The message of the exception of type E that f throws; a test failure when f throws
// something else or nothing.
template <class E = std::exception, class F>
std::string message_of(F&& f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    } catch (...) {
        ADD_FAILURE() << "an exception of another type";
        return {};
    }
    ADD_FAILURE() << "no exception";
    return {};
}
