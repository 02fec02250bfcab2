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
