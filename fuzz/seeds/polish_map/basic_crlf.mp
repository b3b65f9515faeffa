; Polish map written for the reader's tests
[IMG ID]
ID=12345678
Name=Test map
Elevation=M
Datum=W84
CodePage=1252
Levels=2
Level0=24
Level1=18
[END-IMG ID]

[POI]
Type=0x2f06
Label=~[0x1f]1250
Data0=(45.1,5.2)
[END]

[POI]
Type=0x2f
SubType=0x06
Data0=(45.11,5.21)
Label=After data
StreetDesc=Main street
[END]

[RGN10]
Type=0x2a0e
; a comment = inside the section
Label=Café ~Zoë
Data 0=(45.12,5.22)
[END-RGN10]

[POI]
Type=100
Label=Tilde~
Data0=(45.13,5.23)
[END]

[POI]
Type=0x04
City=Y
CityName=Townville
Data0=(45.14,5.24)
[END]

[POI]
Type=0x0d
CityName=Not a city
Data0=(45.15,5.25)
[END]

[RGN20]
Type=0x06
CityName=Hamlet
Data0=(45.16,5.26)
[END-RGN20]

[POI]
Type=0x7777
Label=Unknown
Data0=(45.17,5.27)
[END]

[POI]
Type=0x12f06
Label=Too big
Data0=(45.18,5.28)
[END]

[POI]
Type=0x2f01
Label=Twice
Data0=(45.19,5.29)
Data0=
Data0=45.3,5.4
Data0=(abc,5.4)
Origin0=(-45.2,-5.3)
[END]

[POLYLINE]
Type=0x01
Label=A1
EndLevel=3
Data0=(45.0,5.0), (45.1,5.1),(45.2, 5.3)
Data1=(1.0,2.0),(3.0,4.0)
[END]

[RGN40]
Type=0x1f
Label=Big~[0x1e]River
Data0=(44.5,4.5),(44.6,4.7)
Label2=R 12
[END-RGN40]

[POLYGON]
Type=0x50
Data0=(45.1,5.2),(45.2,5.3)
[END]

[POLYGON]
Type=0x3c
Label=Lake
Data0=(46.0,6.0),(46.0,6.5),(46.5,6.5),(46.0,6.0)
[END]

[RGN80]
Type=0x17
Origin0=(43.0,3.0),(43.0,3.25),(43.125,3.25)
Label=Park
[END-RGN80]
