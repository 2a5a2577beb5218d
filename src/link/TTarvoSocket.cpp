#include "TTarvoSocket.h"

TTarvoSocket::TTarvoSocket(QString identity)
    : m_remoteAddress(std::move(identity)), m_saver(std::make_unique<TSaveItNew>()) {
    m_saver->KeepPoints = false; // it only stores values
}
