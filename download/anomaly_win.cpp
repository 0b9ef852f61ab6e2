// Not built yet: the record holds the file name and the signer only.
#include "download/anomaly_win.h"

#include "download/download_records.h"

void RecordDownloadAnomaly(const std::wstring& path, const std::wstring& signer) {
    DownloadAnomaly anomaly;
    const std::size_t slash = path.rfind(L'\\');
    if (slash != std::wstring::npos && slash >= 1) {
        anomaly.fileName = path.substr(slash + 1);
    }
    anomaly.signer = signer;
    Anomalies().AppendUnlessKnown(std::move(anomaly));
}
