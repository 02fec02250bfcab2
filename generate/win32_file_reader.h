// Reading files for the check of a folder through the Win32 API.
#pragma once

#include "file_reader.h"

class Win32FileReader : public FileReader {
public:
    Handle open(const std::u16string& path, std::string& error) override;
    int64_t read_at(Handle file, uint64_t offset, uint8_t* data, size_t size, std::string& error) override;
    void close(Handle file) override;
};
