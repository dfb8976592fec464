#pragma once

#include <string>

// An operation's output written under a temporary name in the output's own
// folder and put in place of the output only when the run is kept: a run
// that fails, or is refused, leaves a file that was there before untouched
// (and no half-written file behind).
namespace trelvan {

// A hidden name in the folder of `output`, made unique by creating it (an
// empty file with the permissions a new file gets), ending in `ending`
// ("/m/a.avi", ".avi" -> "/m/.a.avi.3fXk9q.avi"). Empty when the folder
// cannot take a new file; `error_out` then gets errno.
std::string MakeTemporaryBeside(const std::string& output, const std::string& ending = ".tmp",
                                int* error_out = nullptr);

class StagedOutput {
  public:
    // Reserves the temporary name beside `output`; it keeps the output's
    // extension, since writers choose the file type by it.
    explicit StagedOutput(std::string output);
    // Deletes the temporary file unless it was put in place.
    ~StagedOutput();
    StagedOutput(const StagedOutput&) = delete;
    StagedOutput& operator=(const StagedOutput&) = delete;

    // Whether the temporary name could be made; else Error() tells why.
    bool Ready() const { return !m_temp.empty(); }
    // The errno of the last failure (making the name, putting it in place).
    int Error() const { return m_error; }
    // Where the operation writes.
    const std::string& Path() const { return m_temp; }
    const std::string& Output() const { return m_output; }

    // Puts the written file in place of the output, replacing a file of
    // that name in one step. True when it worked; else the temporary file
    // is deleted and Error() tells why.
    bool Commit();
    // Deletes the temporary file (the output stays as it was).
    void Discard();
    // Commit() when `keep`, else Discard(); false only when a commit failed.
    bool Finish(bool keep) { return keep ? Commit() : (Discard(), true); }

  private:
    std::string m_output;
    std::string m_temp;
    int m_error = 0;
};

}  // namespace trelvan
