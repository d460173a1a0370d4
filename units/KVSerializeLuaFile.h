#pragma once
// A file that a script opened through the file manager. Writes gather in
// memory and reach the file when the script flushes or closes it, or when
// the script's collector frees the object.
#include <string>
#include <vector>
#include "../KVLua/IKVLua.h"
#include "../kernel/IKVFile.h"

namespace kvl {

class KVSerializeLuaFile : public IKVLua::LuaObject {
public:
    enum Mode : int32_t { MODE_READ = 0, MODE_WRITE = 1 };

    ~KVSerializeLuaFile() override;

    // Opens a file: for reading when the mode text starts with 'r', for
    // appending when it starts with 'a', else for writing (created or
    // truncated, its directories made first). Null when it does not open.
    static KVSerializeLuaFile* Open(const std::string& path, const std::string& modeText);
    // Hands the object to the script with its methods (one value pushed);
    // the script's collector owns it from then on.
    static int32_t Push(IKVLua* lua, KVSerializeLuaFile* file);

    bool IsOpen() const { return m_handle != nullptr; }
    int32_t GetMode() const { return m_mode; }

    // The next line without its CR and LF bytes; false at the end of the
    // file or on a failed read with nothing gathered.
    bool ReadLine(std::string* line);
    // Up to count bytes; false when the count is not positive or the read
    // fails.
    bool Read(int32_t count, std::vector<uint8_t>* out);

    void Append(const void* data, size_t count);
    // Writes the gathered bytes and empties the buffer; true when all of
    // them were written.
    bool Flush();
    // Writes what is gathered, closes the file; true when both succeeded
    // (or when it was closed already).
    bool Close();
    bool EndOfFile();
    // Turns the gathered bytes into a padded image of size bytes: 0, 1 when
    // the size is below the content and trailer, 2 when it is too large.
    int32_t Pad(uint32_t size);

    const std::vector<uint8_t>& GetBuffer() const { return m_buffer; }

private:
    KVSerializeLuaFile(IKVFile* file, KVFileHandle handle, int32_t mode)
        : m_file(file), m_handle(handle), m_mode(mode) {}

    IKVFile* m_file;
    KVFileHandle m_handle;
    int32_t m_mode;
    std::vector<uint8_t> m_buffer;
};

} // namespace kvl
