[IMG ID]
Datum=Custom 10 -20 30 6378388 297
[END-IMG ID]
[POLYGON]
Type=0x50
Data0=(1,2),(3,4),(5,6)
[END]
