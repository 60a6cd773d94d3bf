#pragma once
// The report file: laid-out pages saved by the preview and opened again to preview or print
// them without the data they were made from. The layout of the file is described in
// reportfile.cpp.
#include <QByteArray>
#include <QString>

namespace report {

class Layout;

// The file name suffix and the file dialog filter of report files.
inline constexpr char reportFileSuffix[] = "zrep";
QString reportFileFilter();

// Writes a layout to a report file, replacing it (the old file stays if writing fails).
// Throws Error naming the file.
void saveReportFile(const Layout &layout, const QString &path);
// Reads a report file. A file that is not a report file, is cut short or damaged, or has a
// format version this program does not read, throws Error naming the file and what is wrong.
Layout loadReportFile(const QString &path);

// The same in memory; fileName is only used in messages.
QByteArray encodeReport(const Layout &layout);
Layout decodeReport(const QByteArray &bytes, const QString &fileName);

} // namespace report
