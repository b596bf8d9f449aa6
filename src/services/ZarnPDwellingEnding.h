#pragma once

namespace zarn {

// Ends every waiting dwelling, of every region kind, on disk: for whoever removes all the
// scheduled requests at the centre, so that none of them is later reported sent. SDK thread.
class ZarnPDwellingEnding {
  public:
    virtual ~ZarnPDwellingEnding() = default;
    // Committed and synced when it returns (a failure is logged); the caller has no transaction
    // open.
    virtual void endAllDwellings() = 0;
};

}  // namespace zarn
