#include "print_queue.h"

#include <cups/cups.h>

#include <QByteArray>
#include <algorithm>

namespace glim {
namespace {

// Every job the server keeps for the queue, of any user, finished ones included.
class QueueJobs {
 public:
  explicit QueueJobs(const QString& queue) : name_(queue.toLocal8Bit()) {
    count_ = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs_, name_.constData(), 0, CUPS_WHICHJOBS_ALL);
  }
  ~QueueJobs() {
    if (jobs_ != nullptr) cupsFreeJobs(count_, jobs_);
  }
  QueueJobs(const QueueJobs&) = delete;
  QueueJobs& operator=(const QueueJobs&) = delete;

  // A request the server did not answer gives -1.
  bool answered() const { return count_ >= 0; }
  const cups_job_t* begin() const { return jobs_; }
  const cups_job_t* end() const { return jobs_ + std::max(count_, 0); }

 private:
  QByteArray name_;
  cups_job_t* jobs_ = nullptr;
  int count_ = 0;
};

}  // namespace

std::optional<bool> queueAcceptsJobs(const QString& queue) {
  const QByteArray name = queue.toLocal8Bit();
  cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, name.constData(), nullptr);
  if (dest == nullptr) return std::nullopt;
  const char* accepting =
      cupsGetOption("printer-is-accepting-jobs", dest->num_options, dest->options);
  std::optional<bool> result;
  if (accepting != nullptr) result = qstrcmp(accepting, "false") != 0;
  cupsFreeDests(1, dest);
  return result;
}

std::optional<int> lastJobNumber(const QString& queue) {
  const QueueJobs jobs(queue);
  if (!jobs.answered()) return std::nullopt;
  int last = 0;
  for (const cups_job_t& job : jobs) last = std::max(last, job.id);
  return last;
}

bool jobArrived(const QString& queue, int after, const QString& title) {
  const QueueJobs jobs(queue);
  const QByteArray wanted = title.toLocal8Bit();
  return std::any_of(jobs.begin(), jobs.end(), [&](const cups_job_t& job) {
    return job.id > after && job.title != nullptr && wanted == job.title;
  });
}

}  // namespace glim
