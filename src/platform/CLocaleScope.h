#pragma once

namespace kesto {

// Switches the calling thread to the C locale for the lifetime of the guard,
// so that numbers are written and read with a point whatever locale the
// process runs in. Other threads keep their locale.
//
// Threads: any; the guard belongs to the thread that made it.
class CLocaleScope {
  public:
    CLocaleScope();
    ~CLocaleScope();
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

  private:
    void* previous_;  // the thread's locale_t before the guard
};

}  // namespace kesto
