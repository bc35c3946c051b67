#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <string>

#include "simhost/OffsetSpace.h"
#include "simhost/SimModel.h"

namespace tavoro::simhost {

// Makes `path` free for a new listening socket: a socket file left by a stand-in that
// died is removed, while a live one that answers there, or a file that is no socket,
// is left alone and reported. The reason when the path cannot be used, else empty.
QString ClaimSocketPath(const QString& path);

// The stand-in's FSUIPC side. Each connection on the window's socket carries one line,
// the name of a mapping in the rendezvous folder; the block in it is served against the
// offset space and the answer line is "1" (handled) or "0" (refused or not walkable).
class FsuipcServer : public QObject {
    Q_OBJECT

public:
    FsuipcServer(SimModel& model, std::string folder, FsuipcVersions versions,
                 QObject* parent = nullptr);
    ~FsuipcServer() override;

    // Listens on the socket named `window` ("UIPCMAIN" or "FS98MAIN") in the folder; the
    // reason when it cannot, the empty text when it listens.
    QString Listen(const QString& window);

    // Serves the block in the mapping called `name`; the answer for the client.
    int ServeMapping(const std::string& name);

private:
    void accept();

    SimModel& model_;
    std::string folder_;
    OffsetSpace space_;
    QLocalServer server_;
};

}  // namespace tavoro::simhost
