#include "decode/frame_queue.h"

namespace dl {

CFrameQueue::CFrameQueue() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

CFrameQueue::~CFrameQueue() {
  if (event_ != nullptr) CloseHandle(event_);
  Clear();
}

HRESULT CFrameQueue::Push(IStream* frame) {
  if (free_ == nullptr) {
    auto* block = static_cast<NodeBlock*>(HeapAlloc(GetProcessHeap(), 0, sizeof(NodeBlock)));
    if (block == nullptr) return E_OUTOFMEMORY;
    block->previous = blocks_;
    blocks_ = block;
    for (DWORD i = 0; i < kBlockSize; ++i) {
      block->nodes[i].next = free_;
      free_ = &block->nodes[i];
    }
  }
  Node* node = free_;
  free_ = node->next;
  node->frame = frame;
  frame->AddRef();
  node->next = nullptr;
  node->previous = tail_;
  ++count_;
  if (tail_ != nullptr) {
    tail_->next = node;
  } else {
    head_ = node;
  }
  tail_ = node;
  SetEvent(event_);
  return S_OK;
}

HRESULT CFrameQueue::Pop(IStream** frame) {
  *frame = nullptr;
  Node* node = head_;
  if (node == nullptr) return E_FAIL;
  // The node's reference passes to the caller.
  *frame = node->frame;
  node->frame = nullptr;
  head_ = node->next;
  if (head_ != nullptr) {
    head_->previous = nullptr;
  } else {
    tail_ = nullptr;
  }
  FreeNode(node);
  if (count_ == 0) {
    Clear();
    ResetEvent(event_);
  }
  return S_OK;
}

void CFrameQueue::FreeNode(Node* node) {
  if (node->frame != nullptr) {
    node->frame->Release();
    node->frame = nullptr;
  }
  node->next = free_;
  free_ = node;
  --count_;
}

void CFrameQueue::Clear() {
  while (count_ > 0) {
    Node* node = head_;
    head_ = node->next;
    FreeNode(node);
  }
  head_ = tail_ = free_ = nullptr;
  while (blocks_ != nullptr) {
    NodeBlock* block = blocks_;
    blocks_ = block->previous;
    HeapFree(GetProcessHeap(), 0, block);
  }
}

DWORD CFrameQueue::BlockCount() const {
  DWORD blocks = 0;
  for (const NodeBlock* block = blocks_; block != nullptr; block = block->previous) ++blocks;
  return blocks;
}

}  // namespace dl
