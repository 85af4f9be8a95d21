// What the print server says of a queue: whether it takes jobs now, and whether a job handed to
// it arrived. The printer object does not report either, so a refused job would otherwise look
// printed.
#pragma once

#include <QString>
#include <optional>

namespace glim {

// True or false when the server tells whether the queue accepts jobs; nothing when it cannot
// be asked (no server, no such queue).
std::optional<bool> queueAcceptsJobs(const QString& queue);

// The highest job number the queue has seen (finished jobs included); nothing when the server
// cannot be asked. 0 for a queue without jobs.
std::optional<int> lastJobNumber(const QString& queue);

// True when the queue holds a job titled `title` numbered above `after`.
bool jobArrived(const QString& queue, int after, const QString& title);

}  // namespace glim
