#pragma once

#include <QSaveFile>

#include "FileReplacement.h"

// A file layer that fails one chosen step of every replacement (or of those whose file name
// contains a given text) the way a full disk or a failing device does, while it is in place.
class FailingFileLayer : public FileLayer {
public:
    enum class Step {
        None,
        Open,
        Write,      // the write fails
        ShortWrite, // half the bytes are written, the write reports failure
        LostWrite,  // the write claims success but nothing reaches the file
        Flush,
        Commit,
    };

    explicit FailingFileLayer(Step failing, QString onlyNamesContaining = {})
        : m_failing(failing), m_only(std::move(onlyNamesContaining)), m_scope(*this) {}

    bool open(QSaveFile& file) override {
        if (!applies(file))
            return FileLayer::open(file);
        ++calls;
        return m_failing != Step::Open && FileLayer::open(file);
    }
    qint64 write(QSaveFile& file, const QByteArray& data) override {
        switch (applies(file) ? m_failing : Step::None) {
        case Step::Write:
            return -1;
        case Step::ShortWrite:
            FileLayer::write(file, data.left(data.size() / 2));
            return -1;
        case Step::LostWrite:
            return data.size();
        default:
            return FileLayer::write(file, data);
        }
    }
    bool flush(QSaveFile& file) override {
        return !(applies(file) && m_failing == Step::Flush) && FileLayer::flush(file);
    }
    bool commit(QSaveFile& file) override {
        if (applies(file) && m_failing == Step::Commit) {
            file.cancelWriting();
            FileLayer::commit(file); // discards the new file, as a failed rename does
            return false;
        }
        return FileLayer::commit(file);
    }

    int calls = 0;

private:
    bool applies(const QSaveFile& file) const {
        return m_only.isEmpty() || file.fileName().contains(m_only);
    }

    Step m_failing;
    QString m_only;
    FileLayer::Scope m_scope;
};
