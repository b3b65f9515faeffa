// The job queue of long-lived workers (the refinement of images read through the ECW
// library): producers push (a, b) jobs, one worker pops the most recent first.
//
// A mutex guards the pairs and the flag that says a worker serves the queue. The
// worker is started by the push that finds no worker, and it counts as gone from the
// moment a pop finds the queue empty, under the same lock: so a job pushed just after
// the queue drained always has a worker, and never two at once. The worker is started
// outside the lock, because under "MONOTHREAD" it runs inside the push itself.
#include <mutex>

#include "core/pairlist.h"
#include "core/tracelog.h"
#include "shell/framework/dispatcher.h"

struct job_queue {
  std::mutex lock;
  pairlist* jobs = nullptr;
  bool served = false;  // a worker is serving the queue
};

namespace {
std::mutex g_create_lock;  // the owner pointer of a queue being created
}  // namespace

int job_queue_push(worker_routine routine, job_queue** queue, intptr_t a, intptr_t b) {
  if (!queue) return 0;
  job_queue* q;
  {
    std::lock_guard<std::mutex> guard(g_create_lock);
    if (!*queue) *queue = new job_queue;
    q = *queue;
  }
  bool start = false;
  {
    std::lock_guard<std::mutex> guard(q->lock);
    pairlist_add(&q->jobs, a, b);
    if (!q->served && routine) q->served = start = true;
  }
  if (!start) return 1;
  if (start_thread(routine, q, 0)) return 1;
  log_error_line("job_queue_push: the worker could not be started");
  std::lock_guard<std::mutex> guard(q->lock);
  q->served = false;  // the next push tries again
  return 0;
}

int job_queue_pop(job_queue* queue, intptr_t* a, intptr_t* b) {
  if (!queue) return 0;
  std::lock_guard<std::mutex> guard(queue->lock);
  std::intptr_t first = 0, second = 0;
  if (!pairlist_pop(queue->jobs, &first, &second)) {
    queue->served = false;  // the worker ends now; the next push starts another
    return 0;
  }
  if (a) *a = first;
  if (b) *b = second;
  return 1;
}

int job_queue_count(job_queue* queue) {
  if (!queue) return 0;
  std::lock_guard<std::mutex> guard(queue->lock);
  return pairlist_count(queue->jobs);
}

void job_queue_free(job_queue** queue) {
  if (!queue || !*queue) return;
  job_queue* q = *queue;
  *queue = nullptr;
  pairlist_free(&q->jobs);
  delete q;
}
