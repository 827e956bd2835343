// A circular doubly linked list whose head moves: a lookup rotates the head
// onto the node it finds, so the head is whichever node was found last.
// The handle registry of the library is one of these.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

namespace quorel {

template <typename T>
class CTRing {
 public:
  struct Node {
    T data;
    Node *prev = nullptr;
    Node *next = nullptr;
  };

  CTRing() = default;
  CTRing(const CTRing &) = delete;
  CTRing &operator=(const CTRing &) = delete;
  virtual ~CTRing() { RemoveAll(); }

  // Links a copy of `entry` in just before the head and makes it the head.
  // Returns false (and adds nothing) when the node cannot be allocated.
  virtual bool Add(const T &entry) {
    std::unique_ptr<Node> owned(new (std::nothrow) Node{entry});
    if (!owned) return false;
    Node *node = owned.release();
    if (head_ == nullptr) {
      node->prev = node;
      node->next = node;
      count_ = 1;
    } else {
      node->prev = head_->prev;
      node->next = head_;
      head_->prev->next = node;
      head_->prev = node;
      ++count_;
    }
    head_ = node;
    return true;
  }

  // Rotates the head forward until its key matches. The search stops once it
  // reaches the node that preceded the head when it began, leaving the head
  // there, so a miss visits every node exactly once.
  template <typename Key, typename KeyOf>
  bool Find(const Key &key, KeyOf keyOf) {
    if (head_ == nullptr) return false;
    const Key last = keyOf(head_->prev->data);
    while (keyOf(head_->data) != key) {
      if (keyOf(head_->data) == last) return false;
      head_ = head_->next;
    }
    return true;
  }

  // Unlinks and frees the head node; its successor becomes the head.
  bool RemoveHead() {
    if (head_ == nullptr) return false;
    Node *old = head_;
    if (old->next == old) {
      head_ = nullptr;
      count_ = 0;
    } else {
      old->prev->next = old->next;
      old->next->prev = old->prev;
      head_ = old->next;
      --count_;
    }
    std::unique_ptr<Node> reclaim(old);
    return true;
  }

  template <typename Key, typename KeyOf>
  bool Remove(const Key &key, KeyOf keyOf) {
    return Find(key, keyOf) && RemoveHead();
  }

  void RemoveAll() {
    while (RemoveHead()) {
    }
  }

  Node *head() const { return head_; }
  int32_t count() const { return count_; }
  std::mutex &lock() { return lock_; }

 private:
  // All three are guarded by lock_; CTRing itself never takes it, its owner does.
  Node *head_ = nullptr;
  int32_t count_ = 0;
  std::mutex lock_;
};

}  // namespace quorel
