#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "simhost/OffsetSpace.h"
#include "simhost/SimModel.h"

namespace tavoro::simhost {

// Makes `path` free for a new listening socket: a socket file left by a stand-in that
// died is removed, while a live one that answers there, or a file that is no socket,
// is left alone and reported. The reason when the path cannot be used, else empty.
QString ClaimSocketPath(const QString& path);

// The stand-in's FSUIPC side. A client connects to the window's socket once per link and
// hands its block over with the first line it sends there: the block's name, with the
// descriptor of a memory file sealed against shrinking and growing. The block stays
// mapped while the connection lasts; each line (the same name) asks for it to be served
// against the offset space and is answered "1" (handled) or "0" (not walkable). A
// hand-over it refuses is answered "0" and the connection closed.
class FsuipcServer : public QObject {
    Q_OBJECT

public:
    // The client's block; only this much of a handed-over memory file is ever mapped.
    static constexpr std::size_t kBlockSize = 0x8000;

    FsuipcServer(SimModel& model, std::string folder, FsuipcVersions versions,
                 QObject* parent = nullptr);
    ~FsuipcServer() override;

    // Listens on the socket named `window` ("UIPCMAIN" or "FS98MAIN") in the folder; the
    // reason when it cannot, the empty text when it listens.
    QString Listen(const QString& window);

    // The clients linked now: connections holding a block.
    std::size_t linked_clients() const;

private:
    class Listener;
    struct Connection;

    void adopt(int fd);
    void onReadable(std::uint32_t id);
    // The answer to one line of `connection`.
    int serve(Connection& connection, std::string_view line);
    void drop(std::uint32_t id);
    // Drops the connections that handed no block over in time.
    void sweep();
    void publish();

    SimModel& model_;
    std::string folder_;
    OffsetSpace space_;
    std::unique_ptr<Listener> listener_;
    std::map<std::uint32_t, std::unique_ptr<Connection>> connections_;
    std::uint32_t next_connection_ = 1;
    QTimer sweep_;  // one for all connections, running while one waits for its block
};

}  // namespace tavoro::simhost
