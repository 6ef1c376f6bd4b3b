// When a pointer move ends the full-screen saver: the pointer has strayed far enough from
// where it first moved. Portable, so that the rule is tested natively.
#pragma once

// |dx| + |dy| from the reference at which a move ends the saver.
constexpr int pointerDriftLimit = 16;

class PointerDrift {
  public:
    // True when the move to (x, y) ends the saver. The first move only sets the reference,
    // wherever it is: left of the primary monitor, or at the origin.
    bool moved(int x, int y);

  private:
    bool referenceSet_ = false;
    int referenceX_ = 0;
    int referenceY_ = 0;
};
