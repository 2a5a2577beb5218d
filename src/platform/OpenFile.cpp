#include "OpenFile.h"

#include <QFile>

#ifndef Q_OS_WIN
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "StatusStamp.h"
#endif

#ifdef Q_OS_WIN

bool OpenFile::open(const QString& fileName) {
    close();
    m_file = new QFile(fileName);
    if (!m_file->open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        m_error = m_file->errorString();
        close();
        return false;
    }
    m_fileName = fileName;
    return true;
}

bool OpenFile::isOpen() const {
    return m_file != nullptr;
}

void OpenFile::close() {
    delete m_file;
    m_file = nullptr;
    m_fileName.clear();
}

FileStamp OpenFile::stamp() const {
    return m_file != nullptr ? FileStamp::of(m_fileName) : FileStamp();
}

bool OpenFile::readAll(QByteArray& data) {
    if (m_file == nullptr || !m_file->seek(0))
        return false;
    data = m_file->readAll();
    return true;
}

bool OpenFile::writeAll(qint64 offset, const char* data, qint64 size) {
    if (m_file == nullptr || (offset >= 0 && !m_file->seek(offset)) ||
        m_file->write(data, size) != size) {
        fail();
        return false;
    }
    return true;
}

bool OpenFile::resize(qint64 size) {
    if (m_file == nullptr || !m_file->resize(size)) {
        fail();
        return false;
    }
    return true;
}

void OpenFile::fail() {
    m_error = m_file != nullptr ? m_file->errorString() : QString();
}

#else

bool OpenFile::open(const QString& fileName) {
    close();
    int descriptor = -1;
    do {
        descriptor =
            ::open(QFile::encodeName(fileName).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    } while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0) {
        fail();
        return false;
    }
    m_descriptor = descriptor;
    m_fileName = fileName;
    return true;
}

bool OpenFile::isOpen() const {
    return m_descriptor >= 0;
}

void OpenFile::close() {
    if (m_descriptor >= 0)
        ::close(m_descriptor);
    m_descriptor = -1;
    m_fileName.clear();
}

FileStamp OpenFile::stamp() const {
    struct stat status;
    if (m_descriptor < 0 || ::fstat(m_descriptor, &status) != 0 || status.st_nlink == 0)
        return {};
    return stampOfStatus(status);
}

bool OpenFile::readAll(QByteArray& data) {
    data.clear();
    if (m_descriptor < 0)
        return false;
    char buffer[65536];
    for (qint64 offset = 0;;) {
        const ssize_t got = ::pread(m_descriptor, buffer, sizeof buffer, off_t(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            fail();
            return false;
        }
        if (got == 0)
            return true;
        data.append(buffer, qsizetype(got));
        offset += got;
    }
}

bool OpenFile::writeAll(qint64 offset, const char* data, qint64 size) {
    if (m_descriptor < 0)
        return false;
    while (size > 0) {
        const ssize_t written =
            offset < 0 ? ::write(m_descriptor, data, std::size_t(size))
                       : ::pwrite(m_descriptor, data, std::size_t(size), off_t(offset));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = ENOSPC;
            fail();
            return false;
        }
        data += written;
        size -= written;
        if (offset >= 0)
            offset += written;
    }
    return true;
}

bool OpenFile::resize(qint64 size) {
    if (m_descriptor < 0)
        return false;
    int result = 0;
    do {
        result = ::ftruncate(m_descriptor, off_t(size));
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        fail();
        return false;
    }
    return true;
}

void OpenFile::fail() {
    m_error = QString::fromLocal8Bit(std::strerror(errno));
}

#endif
