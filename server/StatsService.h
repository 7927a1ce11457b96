#pragma once

#include <QString>
#include <httplib.h>
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
    int minMachines = 3;     // fewer voting machines make a model "toosmall"
    QString currentVersion;  // the newest release, announced by the version check
    QString productPage;     // where to download it; empty for none
};

// The statistics server's requests, independent of the socket: registration, uploads, per-model
// averages, the model list and the version check.
class StatsService {
public:
    StatsService(StatsStore &store, ServiceSettings settings);

    StatsReply handle(const StatsRequest &request);

private:
    StatsReply _registerMachine(const StatsRequest &request);
    StatsReply _logBatt(const StatsRequest &request);
    StatsReply _averages(const StatsRequest &request);
    StatsReply _pbModels(const StatsRequest &request);
    StatsReply _versionCheck(const StatsRequest &request);

    StatsStore &_store;
    const ServiceSettings _settings;
};
