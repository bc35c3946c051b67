#include "atc/ServerTransport.h"

namespace tavoro {

TcpServerTransport::TcpServerTransport(QObject* parent) : ServerTransport(parent) {
    connect(&socket_, &QTcpSocket::connected, this, &ServerTransport::connected);
    connect(&socket_, &QTcpSocket::disconnected, this, &ServerTransport::disconnected);
    connect(&socket_, &QTcpSocket::readyRead, this, [this] {
        QByteArray data = socket_.readAll();
        if (!data.isEmpty()) {
            emit dataRead(data);
        }
    });
    connect(&socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        emit errorOccurred(error, socket_.errorString());
    });
}

TcpServerTransport::~TcpServerTransport() {
    // The socket dies after this object's own part and would report its closing
    // through an object already half destroyed.
    socket_.disconnect(this);
}

void TcpServerTransport::ConnectToHost(const QString& host, quint16 port) {
    socket_.connectToHost(host, port);
}

void TcpServerTransport::DisconnectFromHost() {
    socket_.disconnectFromHost();
}

void TcpServerTransport::Abort() {
    socket_.abort();
}

void TcpServerTransport::Write(std::string_view bytes) {
    socket_.write(bytes.data(), static_cast<qint64>(bytes.size()));
    socket_.flush();
}

}  // namespace tavoro
