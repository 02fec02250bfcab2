// The catalogue's numbers for the texts the programs show, named by what the texts say. A
// language section and the common section number their texts apart, so each has its own set.
#pragma once

#include <string>

// Texts of the active language (English where it has none).
enum TextId : int {
    kTextDestinationFolder = 10,
    kTextStart = 11,
    kTextFileCount = 12,
    kTextFileSize = 13,
    kTextFileType = 14,
    kTextGeneratorDataType = 15,
    kTextZerosType = 16,
    kTextRandomDataType = 18,
    kTextCancel = 21,
    kTextDonate = 25,
    kTextProgram = 26,
    kTextInfo = 27,
    kTextMore = 28,
    kTextTargetNotOpened = 30,
    kTextAttention = 39,
    kTextStatus = 43,
    kTextRemaining = 44,
    kTextElapsed = 45,
    kTextOf = 46,
    kTextSeconds = 47,
    kTextMinutes = 48,
    kTextTotalTime = 49,
    kTextFinished = 50,
    kTextRecommend = 52,
    kTextSendProgram = 53,
    kTextMoreFreeware = 54,
    kTextCancelQuestion = 55,
    kTextCancelled = 56,
    kTextOverwriteQuestion = 58,
    kTextDiskFull = 59,
    kTextMailSubject = 60,
    kTextMailBody = 61,
    kTextProgrammedBy = 70,
    kTextHomepage = 71,
    kTextExit = 72,
    kTextVersion = 73,
    kTextBuild = 74,
    kTextFaq = 75,
    kTextPathTooLong = 80,
    kTextNegativeSize = 81,
    kTextUnreadableSize = 82, // "%s": the size as typed
    kTextSizeTooLarge = 83,   // "%s": the size as typed; "%d": the largest size in KB
    // The run options and their dialog.
    kTextOptionsButton = 90,
    kTextRunOptions = 91,
    kTextSeed = 92,
    kTextSeedBlank = 93,
    kTextLastSeed = 94, // "%s": the seed
    kTextCompressibleTo = 95,
    kTextDuplicateBlocks = 96,
    kTextJobs = 97,
    kTextWritePastCache = 98,
    kTextUntilDiskFull = 99,
    kTextFlushEachFile = 100,
    kTextOk = 101,
    kTextBadNumber = 102,         // "%s" four times: the value, the field's name, the lowest and highest
    kTextCompressibleShare = 103, // "%s": percent
    kTextDuplicateShare = 104,    // "%s": percent
    kTextSeedIs = 105,            // "%s": the seed
    kTextJobCount = 106,          // "%s": the jobs
    kTextPastTheCache = 107,
    kTextUntilFull = 108,
    kTextFlushEach = 109,
    // The Check page.
    kTextCheck = 110,
    kTextFolder = 111,
    kTextIntendedCount = 112,
    kTextIntendedSize = 113,
    kTextReadPastCache = 114,
    kTextCheckButton = 115,
    kTextColumnName = 116,
    kTextColumnFiles = 117,
    kTextColumnSize = 118,
    kTextColumnType = 119,
    kTextColumnResult = 120,
    kTextIntact = 121,
    kTextNotIntact = 122,
    kTextDiffersAt = 123, // "%s": the byte's offset
    kTextUnreadable = 124,
    kTextPartialFile = 125,
    kTextMissing = 126,
    kTextWrongSize = 127, // "%s": the size found, in bytes
    kTextChangedWhileRead = 128,
    kTextAllIntact = 129,     // "%s": the size intact
    kTextSomeIntact = 130,    // "%s": the size intact
    kTextDamagedInOne = 131,  // "%s": the size damaged
    kTextDamagedInMany = 132, // "%s": the size damaged; "%s": the files
    kTextOneMissing = 133,
    kTextManyMissing = 134, // "%s": the files
    kTextNoRuns = 135,
    kTextFolderUnreadable = 136, // "%s": the system's reason
    kTextCacheWasRead = 137,
    kTextPastIntendedCount = 138, // "%s": the files
    kTextNumbersNoRunGives = 139,
    kTextNoSeed = 140,
    kTextNotWholeKilobytes = 141,
    kTextWidthNotCount = 142,
};

// Texts of the common section, the same in every language.
enum CommonTextId : int {
    kCommonNameAndVersion = 19,
    kCommonSiteGerman = 20,
    kCommonSite = 21,
    kCommonCopyrightButton = 22,
    kCommonThanksGerman = 23,
    kCommonThanks = 24,
    kCommonTranslationRequest = 25,
    kCommonVersionLine = 26,
    kCommonNotice = 27,
};

// The text as shown: a number without a text shows as empty. A copy, safe on any thread while
// translations are loaded.
std::u16string text(TextId id);
std::u16string common_text(CommonTextId id);
