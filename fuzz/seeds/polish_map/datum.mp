[IMG ID]
Datum=NAD83
[END-IMG ID]
[POI]
Type=0x2f06
Data0=(1,2)
[END]
