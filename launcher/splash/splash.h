#pragma once
// What a run needs of its splash window: shown again while it waits for
// something the user started, hidden before anything else shows a window.

namespace launcher {

class Splash {
public:
    virtual void Show() = 0;
    virtual void Hide() = 0;

protected:
    ~Splash() = default;
};

}  // namespace launcher
