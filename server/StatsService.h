#pragma once

#include "FloodLimiter.h"
#include "StatsSnapshot.h"

#include <QString>
#include <httplib.h>
#include <limits>
#include <memory>
#include <mutex>
#include <string>

class StatsStore;

// A request as the service needs it, whatever carried it.
struct StatsRequest {
    std::string method; // "GET", "POST"
    std::string path;   // without the query
    httplib::Headers headers;
    httplib::Params query; // decoded
};

inline constexpr char plainTextType[] = "text/plain; charset=utf-8";

struct StatsReply {
    int status = 200;
    std::string contentType = plainTextType;
    std::string body;
};

struct ServiceSettings {
    int minMachines = 3;    // fewer voting machines make a model "toosmall"
    QString currentVersion; // the newest release, announced by the version check
    QString productPage;    // where to download it; empty for none
    // From all addresses together, after a burst of six times as many.
    double registrationsPerSecond = std::numeric_limits<double>::infinity();
};

// The statistics server's requests, independent of the socket: registration, uploads, per-model
// averages, the model list and the version check. The averages and the model list come from the
// latest snapshot, empty until the first refreshSnapshot().
class StatsService {
public:
    StatsService(StatsStore &store, ServiceSettings settings);

    StatsReply handle(const StatsRequest &request);

    // Makes a new snapshot from the store; requests that come meanwhile get the previous one. False,
    // keeping the previous one, when the store could not be read.
    bool refreshSnapshot();

private:
    StatsReply _registerMachine(const StatsRequest &request);
    StatsReply _logBatt(const StatsRequest &request);
    StatsReply _averages(const StatsRequest &request);
    StatsReply _pbModels(const StatsRequest &request);
    StatsReply _versionCheck(const StatsRequest &request);

    std::shared_ptr<const StatsSnapshot> _snapshot() const;

    StatsStore &_store;
    const ServiceSettings _settings;
    FloodLimiter _registrations;       // one bucket for everybody
    mutable std::mutex _snapshotMutex; // held only to copy or replace the pointer
    std::shared_ptr<const StatsSnapshot> _latest;
};
