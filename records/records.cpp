// Payment rows and the operations on lists of rows.
