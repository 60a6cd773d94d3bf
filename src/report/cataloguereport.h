#pragma once
// The catalogue report "Описание таблиц": for every table of the catalogue a framed block with
// its file name and folder and one line per field with name, type label and size; the date and
// time of printing and the page number at the foot of every page.
#include "report.h"

namespace report {

class DataSet;

// QuickRep1 over the main catalogue mainData (one row per table, in table-number order, columns
// ZORTBLNAME and ZORTBLPATH) and tablesData, the field rows linked to it (columns ZOR_NAME,
// ZOR_TYPE and ZOR_SIZE), which after each move of mainData holds that table's fields only.
// The data sets must outlive the report.
Report catalogueReport(DataSet &mainData, DataSet &tablesData);

// The texts of the page footer's credit and contact lines.
QString catalogueCreditLine();
QString catalogueContactLine();

} // namespace report
