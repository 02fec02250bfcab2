// How an operation that may ask the user ended, for every layer that has one: a run, the overwrite
// question, the refresh of the autostart entry.
#pragma once

enum class Ended {
    done,     // it did what it was for (a run: all files, or cancelled, or with fill a full disk)
    declined, // the user said no, or there was nothing to do (no autostart entry to refresh)
    failed,   // an error stopped it; its message has been shown where the operation shows one
};
