// The job queue of long-lived workers (the refinement of images read through the ECW
// library): producers push (a, b) jobs, one worker pops the most recent first.
//
// A mutex guards the pairs and the flag that says a worker serves the queue. The push
// that finds no worker starts one: a short thread routine (serve_queue) that runs the
// caller's worker routine and, once it has returned, looks again under the lock: a job
// pushed meanwhile is served by running the routine again, else the flag is cleared.
// So the worker counts as gone only after its routine has wholly returned: two workers
// never run at once (not even the tail of one beside the start of the next), and no
// job is left without a worker. The thread is started outside the lock, because under
// "MONOTHREAD" it runs inside the push itself.
#include <mutex>

#include "core/pairlist.h"
#include "core/tracelog.h"
#include "shell/framework/dispatcher.h"

struct job_queue {
  std::mutex lock;
  pairlist* jobs = nullptr;
  bool served = false;               // a worker is serving the queue
  worker_routine routine = nullptr;  // the worker's routine while it is served
};

namespace {

std::mutex g_create_lock;  // the owner pointer of a queue being created

void serve_queue(void* arg) {
  auto* q = static_cast<job_queue*>(arg);
  // Written by the push that started this thread, and not again while it serves.
  const worker_routine routine = q->routine;
  for (;;) {
    routine(q);
    std::lock_guard<std::mutex> guard(q->lock);
    if (pairlist_count(q->jobs) == 0) {
      q->served = false;  // the next push starts another worker
      return;
    }
  }
}

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
    if (!q->served && routine) {
      q->served = start = true;
      q->routine = routine;
    }
  }
  if (!start) return 1;
  if (start_thread(serve_queue, q, 0)) return 1;
  log_error_line("job_queue_push: the worker could not be started");
  std::lock_guard<std::mutex> guard(q->lock);
  q->served = false;  // the next push tries again
  return 0;
}

int job_queue_pop(job_queue* queue, intptr_t* a, intptr_t* b) {
  if (!queue) return 0;
  std::lock_guard<std::mutex> guard(queue->lock);
  std::intptr_t first = 0, second = 0;
  if (!pairlist_pop(queue->jobs, &first, &second)) return 0;
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
