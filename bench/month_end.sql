-- The month-end export as one query of the sqlite3 shell: for every active doctor, the title line, the line
-- holding one blank, and one fixed-width line per registered person, with dates as m/d/yy (the C locale).
-- Run: sqlite3 REGISTER < bench/month_end.sql > all.txt
.mode list
.headers off
.separator "" ""
WITH active AS (SELECT LEKAR_S FROM Lekari WHERE AKTIVEN = 1)
SELECT line FROM (
    SELECT a.LEKAR_S AS doctor, 0 AS part, 0 AS r,
           printf('%10s%15s%20s%20s%20s%12s%12s%9s', 'FAKSIMIL', 'EMBG', 'IME', 'TIME', 'PRE', 'DATUM PR.',
                  'BROJ PR.', 'PROCENT') || char(13, 10) || ' ' || char(13, 10) AS line
    FROM active a
    UNION ALL
    SELECT o.LEKAR_S, 1, o.rowid,
           printf('%10s%15s%20s%20s%20s%12s%12s%9s', o.LEKAR_S, o.MB, o.IME, o.TIME, o.PRE,
                  CASE WHEN o.DATA_PRI IS NULL THEN '12/30/99'
                       ELSE CAST(strftime('%m', o.DATA_PRI) AS INTEGER) || '/' ||
                            CAST(strftime('%d', o.DATA_PRI) AS INTEGER) || '/' || substr(strftime('%Y', o.DATA_PRI), 3, 2)
                  END,
                  o.BR_PRI, CASE WHEN o.UCEN_70 THEN 70 WHEN o.UCEN_30 THEN 30 ELSE 100 END) || char(13, 10)
    FROM Osigurenici o JOIN active a ON o.LEKAR_S = a.LEKAR_S
    WHERE o.BR_ODJ IS NULL
)
ORDER BY doctor, part, r;
