// The process-wide state that tests change, put back before and after each test of a fixture
// derived from SharedState: the active language, a loaded translation, and a run's flags. A test
// that fails half-way then leaves nothing behind for the next one.
#pragma once

#include <gtest/gtest.h>

#include "core/lang/catalogue.h"
#include "core/run/run.h"
#include "core/run/run_thread.h"

class SharedState : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }

    static void reset() {
        language_index = kEnglish;
        loaded_translations.active = false;
        run_busy = false;
        run_cancel = false;
        run_ending = false;
    }
};
