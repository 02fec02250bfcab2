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
    // Why a run file's name is not written: what has it, or the system's refusal.
    kTextRefusedLink = 90,
    kTextRefusedPipe = 91,
    kTextRefusedFolder = 92,
    kTextRefusedOther = 93,
    kTextRefusedDenied = 94,
    kTextFolderMoved = 95,
    kTextFolderNameTooLong = 96, // "%d": the longest name
    kTextCutFileKeptName = 97,
    // The run options and their dialog.
    kTextOptionsButton = 98,
    kTextRunOptions = 99,
    kTextSeed = 100,
    kTextSeedBlank = 101,
    kTextLastSeed = 102, // "%s": the seed
    kTextCompressibleTo = 103,
    kTextDuplicateBlocks = 104,
    kTextJobs = 105,
    kTextWritePastCache = 106,
    kTextUntilDiskFull = 107,
    kTextFlushEachFile = 108,
    kTextOk = 109,
    kTextBadNumber = 110,         // "%s" four times: the value, the field's name, the lowest and highest
    kTextCompressibleShare = 111, // "%s": percent
    kTextDuplicateShare = 112,    // "%s": percent
    kTextSeedIs = 113,            // "%s": the seed
    kTextJobCount = 114,          // "%s": the jobs
    kTextPastTheCache = 115,
    kTextUntilFull = 116,
    kTextFlushEach = 117,
    // The Check page.
    kTextCheck = 118,
    kTextFolder = 119,
    kTextIntendedCount = 120,
    kTextIntendedSize = 121,
    kTextReadPastCache = 122,
    kTextCheckButton = 123,
    kTextColumnName = 124,
    kTextColumnFiles = 125,
    kTextColumnSize = 126,
    kTextColumnType = 127,
    kTextColumnResult = 128,
    kTextIntact = 129,
    kTextNotIntact = 130,
    kTextDiffersAt = 131, // "%s": the byte's offset
    kTextUnreadable = 132,
    kTextPartialFile = 133,
    kTextMissing = 134,
    kTextWrongSize = 135, // "%s": the size found, in bytes
    kTextChangedWhileRead = 136,
    kTextAllIntact = 137,     // "%s": the size intact
    kTextSomeIntact = 138,    // "%s": the size intact
    kTextDamagedInOne = 139,  // "%s": the size damaged
    kTextDamagedInMany = 140, // "%s": the size damaged; "%s": the files
    kTextOneMissing = 141,
    kTextManyMissing = 142, // "%s": the files
    kTextNoRuns = 143,
    kTextFolderUnreadable = 144, // "%s": the system's reason
    kTextCacheWasRead = 145,
    kTextPastIntendedCount = 146, // "%s": the files
    kTextWrongFolder = 147,       // "%s": the folders it lies in
    kTextNoSeed = 148,
    kTextNotWholeKilobytes = 149,
    kTextWidthNotCount = 150,
    // The dedupe unit among the run options.
    kTextDuplicateUnit = 151,
    kTextWholeFiles = 152,
    kTextDuplicateShareUnit = 153, // "%s": percent; "%s": the unit, as "1 MB"
    kTextDuplicateFiles = 154,     // "%s": percent
    kTextBadUnit = 155,            // "%s": the value; "%s": the field's name
    // The end of a run that filled a disk.
    kTextDiskFullFit = 156, // "%s": the files; "%s": their size, as "7.45 GB"
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
