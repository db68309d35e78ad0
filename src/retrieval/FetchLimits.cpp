#include "retrieval/FetchLimits.h"

#include "host/Settings.h"

ElHTTPSClient::Timeouts FetchTimeouts(const Settings &settings)
{
    ElHTTPSClient::Timeouts timeouts;
    timeouts.total = std::chrono::seconds(settings.FetchTimeLimitSeconds);
    timeouts.minimumRate = settings.MinTransferRate;
    timeouts.rateWindow = std::chrono::seconds(settings.TransferRateWindowSeconds);
    return timeouts;
}

AnswerLimits FetchAnswerLimits(const Settings &settings)
{
    AnswerLimits limits;
    limits.entrySize = qint64(settings.MaxEntrySizeMiB) * 1024 * 1024;
    limits.entries = settings.MaxArchiveEntries;
    limits.errorPage = qint64(settings.MaxErrorPageKiB) * 1024;
    return limits;
}

void applyFetchLimits(const Settings &settings, ElHTTPSClient &client, ResponseHandler &handler)
{
    client.setTimeouts(FetchTimeouts(settings));
    handler.setLimits(FetchAnswerLimits(settings));
}
