#include "CommandRoute.h"

#include <QDir>
#include <QFileInfo>

CommandRoute::Reply CommandRoute::send(const QString& rootFolder, bool rootGiven,
                                       const QString& command, const ServiceLocation& service,
                                       int timeoutMs) {
    Reply reply;
    const QString root = QDir(rootFolder).absolutePath();
    reply.triedRoots << root;
    reply.answer = SingleInstance::ask(root, command, timeoutMs);
    if (reply.answer.received) {
        reply.answeredRoot = root;
        return reply;
    }
    const QString serviceRoot = QDir(service.rootFolder).absolutePath();
    if (rootGiven && root != serviceRoot)
        return reply;
    // The service listens in its runtime folder; while it does not run, its socket is absent.
    const QString socket =
        QDir(service.runtimeFolder).filePath(SingleInstance::serverNameFor(serviceRoot));
    if (root != serviceRoot)
        reply.triedRoots << serviceRoot;
    if (!QFileInfo::exists(socket))
        return reply;
    reply.answer = SingleInstance::askAt(socket, command, timeoutMs);
    if (reply.answer.received) {
        reply.answeredRoot = serviceRoot;
        reply.byService = true;
    }
    return reply;
}
