#pragma once
// The output folder of an export and the files this tool writes into it:
//   Well_A01.fcs ... Well_H12.fcs   one per well that received events
//   trash/*.fcs                     the trash files
//   debarcode-run.json              the run record, written last
// An export leaves the folder holding exactly its own outputs: earlier
// outputs it did not write again are removed once its files are complete.
// Files of any other name are never touched.
#include <string>
#include <vector>

namespace dbc {

// Makes the folder when it is missing (not its parents). Throws Exception
// 'Cannot create folder "DIR". REASON'.
void MakeOutputFolder(const std::string& dir);

// Relative names of the well and trash files in the folder (the outputs an
// export writes), sorted.
std::vector<std::string> ToolOutputsIn(const std::string& dir);

// Removes the well and trash files of the folder whose relative names are
// not in `keep`. Throws Exception 'Cannot remove file "NAME". REASON'.
void RemoveStaleOutputs(const std::string& dir, const std::vector<std::string>& keep);

// The name of a file below dir relative to it ("dir/trash/trash.fcs" ->
// "trash/trash.fcs").
std::string RelativeOutputName(const std::string& dir, const std::string& path);

}  // namespace dbc
