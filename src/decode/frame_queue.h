// An unbounded first-in, first-out queue of frame streams, carried from the
// receive thread to the decode thread. Nodes come in blocks of ten; every
// block goes back to the heap when the queue empties.
//
// Push and Pop do not lock: the caller holds the queue's lock around each.
#pragma once

#include "platform/platform.h"
#include "threads/critical_section.h"

namespace dl {

class CFrameQueue {
 public:
  static constexpr DWORD kBlockSize = 10;

  CFrameQueue();
  ~CFrameQueue();
  CFrameQueue(const CFrameQueue&) = delete;
  CFrameQueue& operator=(const CFrameQueue&) = delete;

  // Appends `frame` and takes a reference of its own. E_OUTOFMEMORY, with
  // nothing changed, when a node block cannot be allocated.
  HRESULT Push(IStream* frame);
  // Removes the oldest frame; the caller owns the returned reference.
  // E_FAIL with `frame` null on an empty queue.
  HRESULT Pop(IStream** frame);
  // Releases every queued frame and returns every node block to the heap.
  void Clear();

  DWORD Count() const { return count_; }
  HANDLE Event() const { return event_; }  // manual-reset: signalled while frames are queued
  CriticalSection& Lock() { return lock_; }
  DWORD BlockCount() const;  // node blocks currently allocated

 private:
  struct Node {
    Node* next;      // newer node; in the free list, the next free node
    Node* previous;  // older node
    IStream* frame;
  };
  struct NodeBlock {
    NodeBlock* previous;
    Node nodes[kBlockSize];
  };

  void FreeNode(Node* node);

  Node* head_ = nullptr;
  Node* tail_ = nullptr;
  DWORD count_ = 0;
  NodeBlock* blocks_ = nullptr;
  Node* free_ = nullptr;
  CriticalSection lock_;
  HANDLE event_;
};

}  // namespace dl
