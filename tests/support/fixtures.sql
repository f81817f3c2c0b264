-- A small, fixed network for the test suites, loaded after db/schema.sql.
--
-- Users (public bcrypt test vectors, cost 5):
--   admin     password "U*U"
--   operator  password "U*U*"
--   twin      two rows: the first with "U*U*U", the second with "" (empty)
-- Stations (latitude, longitude in degrees): Alpha (50, 30), Beta (50, 32), Gamma (49, 31).
-- Commands:
--   1  2026-11-01 08:00  three bearings (Alpha 45, Beta 315, Gamma 0): three fixes
--   2  2026-11-01 09:00  no bearings
--   3  2026-11-02 10:00  Alpha 270, Beta 90: the bearings point apart, no fix
--   4  2026-11-03 11:30  Alpha 45, Beta 315: one fix
--   5  2026-10-15 07:15  no bearings, before the usual test range

INSERT INTO kavex.central_users
    (central_user_id, central_surname, central_middlename, central_unit, central_phone,
     central_name, central_login, central_password, central_creator_user_id,
     central_creator_name, central_create_date, central_update_date, central_update_user_id,
     central_updater_name, central_user_uuid, central_updater_uuid,
     central_creator_user_uuid, central_unit_uuid, central_user_status)
VALUES
    (1, 'Коваль', 'Петрович', 1, '+380 44 000 0001', 'Іван', 'admin',
     '$2a$05$CCCCCCCCCCCCCCCCCCCCC.E5YPO9kmyuRGyh0XouQYb4YMJKvyOeW', NULL, 'system',
     '2026-01-10 09:00:00', '2026-01-10 09:00:00', NULL, NULL,
     '0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d', NULL,
     '00000000-0000-4000-8000-000000000001', '11111111-1111-4111-8111-111111111111', 1),
    (2, 'Шевчук', NULL, 2, NULL, 'Олена', 'operator',
     '$2a$05$CCCCCCCCCCCCCCCCCCCCC.VGOzA784oUp/Z0DY336zx7pLYAy0lwK', 1, 'Коваль І.',
     '2026-02-01 10:30:00', '2026-03-05 16:45:10.5', 1, 'Коваль І.',
     'b2c3d4e5-f6a7-4b8c-9d0e-1f2a3b4c5d6e', '0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d',
     '0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d', '22222222-2222-4222-8222-222222222222', 1),
    (3, 'Двійник', NULL, NULL, NULL, 'Перший', 'twin',
     '$2a$05$XXXXXXXXXXXXXXXXXXXXXOAcXxm9kjPGEMsLznoKqmqw7tc8WCx4a', 1, 'Коваль І.',
     '2026-04-01 08:00:00', '2026-04-01 08:00:00', NULL, NULL,
     'c3d4e5f6-a7b8-4c9d-8e0f-2a3b4c5d6e7f', NULL,
     '0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d', '11111111-1111-4111-8111-111111111111', 1),
    (4, 'Двійник', NULL, NULL, NULL, 'Другий', 'twin',
     '$2a$05$CCCCCCCCCCCCCCCCCCCCC.7uG0VCzI2bS7j6ymqJi9CdcdxiRTWNy', 1, 'Коваль І.',
     '2026-04-02 08:00:00', '2026-04-02 08:00:00', NULL, NULL,
     'd4e5f6a7-b8c9-4d0e-9f1a-3b4c5d6e7f80', NULL,
     '0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d', '11111111-1111-4111-8111-111111111111', 1);

INSERT INTO lodvar.units (id, unit_uuid, name, description, x_coord, y_coord)
VALUES (1, 'aaaaaaaa-0000-4000-8000-000000000001', 'Alpha', 'West station', 50, 30),
       (2, 'aaaaaaaa-0000-4000-8000-000000000002', 'Beta', 'East station', 50, 32),
       (3, 'aaaaaaaa-0000-4000-8000-000000000003', 'Gamma', NULL, 49, 31);

INSERT INTO lodvar.arms (id, arm_uuid, name, id_unit)
VALUES (1, 'bbbbbbbb-0000-4000-8000-000000000001', 'АРМ-Alpha', 1),
       (2, 'bbbbbbbb-0000-4000-8000-000000000002', 'АРМ-Beta', 2),
       (3, 'bbbbbbbb-0000-4000-8000-000000000003', 'АРМ-Gamma', 3),
       (4, 'bbbbbbbb-0000-4000-8000-000000000004', 'АРМ КП', NULL);

INSERT INTO lodvar.comset (id, command_uuid, id_arm, date, time, day_num, frequency, note,
                           address, create_date)
VALUES (1, '6f9619ff-8b86-d011-b42d-00c04fc964ff', 4, '2026-11-01', '08:00:00', 1,
        '145.500 МГц', 'Перша', 'Сектор 1', '2026-11-01 08:00:01'),
       (2, '6f9619ff-8b86-d011-b42d-00c04fc96500', 4, '2026-11-01', '09:00:00', 2,
        '433.100 МГц', NULL, 'Сектор 2', '2026-11-01 09:00:01'),
       (3, '6f9619ff-8b86-d011-b42d-00c04fc96501', 4, '2026-11-02', '10:00:00', 1,
        '27.065 МГц', 'Розбіжні', NULL, '2026-11-02 10:00:01'),
       (4, '6f9619ff-8b86-d011-b42d-00c04fc96502', 4, '2026-11-03', '11:30:00', 1,
        '151.825 МГц', NULL, 'Сектор 4', '2026-11-03 11:30:01.25'),
       (5, '6f9619ff-8b86-d011-b42d-00c04fc96503', 4, '2026-10-15', '07:15:00', 1,
        '446.006 МГц', NULL, NULL, '2026-10-15 07:15:01');

INSERT INTO lodvar.lodset (id, id_comset, id_arm, date, time, arm_name, lodvar, note,
                           lodvar_uuid, interseption_uuid, create_date)
VALUES (1, 1, 1, '2026-11-01', '08:01:00', 'АРМ-Alpha', 45, 'Сильний',
        'cccccccc-0000-4000-8000-000000000001', NULL, '2026-11-01 08:01:00'),
       (2, 1, 2, '2026-11-01', '08:02:00', 'АРМ-Beta', 315, NULL,
        'cccccccc-0000-4000-8000-000000000002', NULL, '2026-11-01 08:02:00'),
       (3, 1, 3, '2026-11-01', '08:03:00', 'АРМ-Gamma', 0, 'Слабкий',
        'cccccccc-0000-4000-8000-000000000003', 'fix-1', '2026-11-01 08:03:00'),
       (4, 3, 1, '2026-11-02', '10:01:00', 'АРМ-Alpha', 270, NULL,
        'cccccccc-0000-4000-8000-000000000004', NULL, '2026-11-02 10:01:00'),
       (5, 3, 2, '2026-11-02', '10:02:00', 'АРМ-Beta', 90, NULL,
        'cccccccc-0000-4000-8000-000000000005', NULL, '2026-11-02 10:02:00'),
       (6, 4, 1, '2026-11-03', '11:31:00', 'АРМ-Alpha', 45, NULL,
        'cccccccc-0000-4000-8000-000000000006', NULL, '2026-11-03 11:31:00'),
       (7, 4, 2, '2026-11-03', '11:32:00', 'АРМ-Beta', 315, NULL,
        'cccccccc-0000-4000-8000-000000000007', NULL, '2026-11-03 11:32:00');

SELECT setval(pg_get_serial_sequence('kavex.central_users', 'central_user_id'), 100);
SELECT setval(pg_get_serial_sequence('lodvar.units', 'id'), 100);
SELECT setval(pg_get_serial_sequence('lodvar.arms', 'id'), 100);
SELECT setval(pg_get_serial_sequence('lodvar.comset', 'id'), 100);
SELECT setval(pg_get_serial_sequence('lodvar.lodset', 'id'), 100);
