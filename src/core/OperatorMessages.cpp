#include "OperatorMessages.h"

#include <cstdio>

void HeadlessOperatorMessages::showMessage(const QString& text) {
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

bool HeadlessOperatorMessages::confirm(const QString& question) {
    std::fprintf(stderr, "%s (answered No: no operator window)\n",
                 question.toLocal8Bit().constData());
    std::fflush(stderr);
    return false;
}
