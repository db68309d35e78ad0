#pragma once

#include <gtest/gtest.h>
#include <QString>

// The message of the exception of class E that `action` raises; a failure when none is raised.
template<class E, class Action> QString messageOf(Action &&action)
{
    try {
        action();
    } catch (const E &error) {
        return error.message();
    }
    ADD_FAILURE() << "no exception raised";
    return {};
}
