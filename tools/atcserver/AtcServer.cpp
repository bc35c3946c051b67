#include "AtcServer.h"

#include <QTime>

namespace {

QList<QByteArray> fieldsOf(const QByteArray& line) {
    return line.split(':');
}

}  // namespace

AtcServer::AtcServer(Options options, QTextStream& out, QObject* parent)
    : QObject(parent), options_(std::move(options)), out_(out) {
    connect(&server_, &QTcpServer::newConnection, this, &AtcServer::onNewConnection);
}

AtcServer::~AtcServer() {
    // A socket reports its own closing while it is destroyed; the handlers must not
    // run on a table that is being torn down.
    for (auto& [id, client] : clients_) {
        client.socket->disconnect(this);
    }
}

bool AtcServer::Listen() {
    if (!server_.listen(QHostAddress::LocalHost, options_.port)) {
        out_ << "error: cannot listen on port " << options_.port << ": " << server_.errorString()
             << Qt::endl;
        return false;
    }
    out_ << "listening on 127.0.0.1:" << server_.serverPort() << Qt::endl;
    return true;
}

bool AtcServer::Command(const QByteArray& raw) {
    QByteArray line = raw;
    while (line.endsWith('\r') || line.endsWith('\n')) {
        line.chop(1);
    }
    QByteArray word = line.left(line.indexOf(' ')).trimmed();
    if (line.trimmed().isEmpty()) {
        return true;
    }
    if (word == "send" && line.size() > 5) {
        QByteArray payload = line.mid(5);
        for (auto& [id, client] : clients_) {
            send(id, payload);
        }
        if (clients_.empty()) {
            out_ << "note: no client connected, nothing sent" << Qt::endl;
        }
        return true;
    }
    if (line == "drop") {
        dropAll();
        return true;
    }
    if (line == "quit") {
        dropAll();
        return false;
    }
    out_ << "error: unknown command: " << QString::fromLatin1(line)
         << " (commands: send LINE, drop, quit)" << Qt::endl;
    return true;
}

void AtcServer::onNewConnection() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        int id = next_id_++;
        socket->setParent(nullptr);
        Client& client = clients_[id];
        client.socket.reset(socket);
        connect(socket, &QTcpSocket::readyRead, this, [this, id] { onReadable(id); });
        connect(socket, &QTcpSocket::disconnected, this, [this, id] {
            log(id, "disconnected");
            // Deleting the socket inside its own signal is unsafe: defer it.
            auto found = clients_.find(id);
            if (found != clients_.end()) {
                found->second.socket.release()->deleteLater();
                clients_.erase(found);
            }
        });
        log(id, "connected from " + socket->peerAddress().toString() + ":" +
                    QString::number(socket->peerPort()));
    }
}

void AtcServer::onReadable(int id) {
    auto found = clients_.find(id);
    if (found == clients_.end()) {
        return;
    }
    Client& client = found->second;
    client.pending += client.socket->readAll();
    qsizetype end;
    while ((end = client.pending.indexOf('\n')) >= 0) {
        QByteArray line = client.pending.left(end);
        client.pending.remove(0, end + 1);
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        onLine(id, line);
        if (!clients_.count(id)) {
            return;
        }
    }
}

void AtcServer::onLine(int id, const QByteArray& line) {
    log(id, "< " + QString::fromLatin1(line));
    QList<QByteArray> fields = fieldsOf(line);
    if (fields[0].startsWith("#AP")) {
        QByteArray callsign = fields[0].mid(3);
        QByteArray password = fields.size() > 3 ? fields[3] : QByteArray();
        if (!options_.password.isEmpty() && password != options_.password) {
            send(id, "$ERserver:" + callsign + ":Invalid password");
        } else {
            send(id, "#TMserver:" + callsign + ":Bienvenue sur le serveur Tavoro");
        }
    }
}

void AtcServer::send(int id, const QByteArray& line) {
    auto found = clients_.find(id);
    if (found == clients_.end()) {
        return;
    }
    found->second.socket->write(line + "\r\n");
    log(id, "> " + QString::fromLatin1(line));
}

void AtcServer::log(int id, const QString& text) {
    out_ << QTime::currentTime().toString("HH:mm:ss.zzz") << " [" << id << "] " << text << Qt::endl;
}

void AtcServer::dropAll() {
    std::vector<int> ids;
    for (auto& [id, client] : clients_) {
        ids.push_back(id);
    }
    for (int id : ids) {
        auto found = clients_.find(id);
        if (found != clients_.end()) {
            found->second.socket->disconnectFromHost();
        }
    }
}
