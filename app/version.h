// The program's version, for the version resource (the texts carry it in the catalogue).
#pragma once

#define PELMORA_VERSION_MAJOR 2
#define PELMORA_VERSION_MINOR 85
#define PELMORA_VERSION_BUILD 1
#define PELMORA_VERSION_TEXT "2.85.0.1"
