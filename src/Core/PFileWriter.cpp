#include "Core/PFileWriter.h"

#include "Core/PPackFile.h"
#include "Core/PPath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

CPFileWriter::CPFileWriter(const std::string& path, bool scramble) : m_path(path), m_scramble(scramble) {}

HRESULT CPFileWriter::Write(const void* bytes, int n) {
    if (bytes != nullptr && n > 0) {
        const uint8_t* p = static_cast<const uint8_t*>(bytes);
        m_buffer.insert(m_buffer.end(), p, p + n);
    }
    return S_OK;
}

void CPFileWriter::WriteInt(int32_t value) {
    const uint32_t bits = static_cast<uint32_t>(value);
    const uint8_t bytes[4] = {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
                              static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 24)};
    Write(bytes, 4);
}

void CPFileWriter::WriteString(const std::string& text) {
    WriteInt(static_cast<int32_t>(text.size()));
    Write(text.data(), static_cast<int>(text.size()));
}

HRESULT CPFileWriter::Save() {
    const std::string real = ResolvePath(m_path);
    FILE* file = std::fopen(real.c_str(), "wb");
    if (file == nullptr) return E_FAIL;
    InvalidatePathCache();
    if (m_scramble) ScrambleBytes(m_buffer.data(), m_buffer.size());
    const bool written = std::fwrite(m_buffer.data(), 1, m_buffer.size(), file) == m_buffer.size();
    const bool closed = std::fclose(file) == 0;
    return written && closed ? S_OK : E_FAIL;
}

HRESULT CPFileWriter::SaveReplacing() {
    const std::string real = ResolvePath(m_path);
    struct stat target;
    const bool exists = stat(real.c_str(), &target) == 0;
    if (real.empty() || (exists && !S_ISREG(target.st_mode))) return E_FAIL;

    std::string temporary = real + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0) return E_FAIL;
    // mkstemp makes the file private; give it the target's mode, or the usual one for a new file.
    mode_t mode = 0;
    if (exists) {
        mode = target.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    fchmod(fd, mode);

    if (m_scramble) ScrambleBytes(m_buffer.data(), m_buffer.size());
    bool ok = true;
    size_t done = 0;
    while (ok && done < m_buffer.size()) {
        const ssize_t n = ::write(fd, m_buffer.data() + done, m_buffer.size() - done);
        if (n > 0) done += static_cast<size_t>(n);
        else if (n == 0 || errno != EINTR) ok = false;
    }
    ok = ok && fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && std::rename(temporary.c_str(), real.c_str()) == 0;
    if (!ok) unlink(temporary.c_str());
    InvalidatePathCache();
    return ok ? S_OK : E_FAIL;
}
