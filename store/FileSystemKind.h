#pragma once

#include <QString>

// Whether a file lies on a network filesystem (NFS, SMB/CIFS). SQLite's WAL needs shared memory
// on one host, so such a file keeps the rollback journal.
bool isOnNetworkFileSystem(const QString& filePath);
